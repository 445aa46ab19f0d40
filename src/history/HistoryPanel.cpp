#include "history/HistoryPanel.h"

#include "history/HistoryStore.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace orvex {

namespace {
constexpr quintptr kDayRow = 0; // internal id of a top row; a child's is its day + 1

QDate LocalDay(int64_t msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).date();
}
} // namespace

void HistoryModel::Reset(const HistoryIndex &index, const QString &filter, const QDate &today)
{
    beginResetModel();
    history_ = &index;
    today_ = today;
    days_.clear();
    std::vector<std::string> words;
    for (const QString &word : filter.split(QRegExp(QStringLiteral("[\\s\\x3000]+")), Qt::SkipEmptyParts))
        words.push_back(FoldForMatching(word.toStdString()));
    rows_ = index.SlotsByLastVisit();
    if (!words.empty()) {
        rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                                   [&](const auto &row) { return !index.EntryHolds(row.second, words); }),
                    rows_.end());
    }
    // Newest first: the local date is worked out once per day, not per
    // entry (the conversion to local time is slow).
    qint64 dayStart = std::numeric_limits<qint64>::max();
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].first < dayStart || days_.empty()) {
            const QDate day = LocalDay(rows_[i].first);
            dayStart = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
            days_.push_back({day, i, i});
        }
        days_.back().end = i + 1;
    }
    endResetModel();
}

const HistoryEntry *HistoryModel::Entry(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == kDayRow || !history_)
        return nullptr;
    const DayRows &day = days_[index.internalId() - 1];
    const auto &row = rows_[day.begin + index.row()];
    const HistoryEntry *entry = history_->EntryAt(row.second);
    // A slot given to another entry since: not this row's any more.
    return entry && entry->lastVisit == row.first ? entry : nullptr;
}

QDate HistoryModel::Day(const QModelIndex &index) const
{
    if (!index.isValid())
        return QDate();
    const size_t day = index.internalId() == kDayRow ? index.row() : index.internalId() - 1;
    return days_[day].date;
}

QString HistoryModel::DayLabel(int day) const
{
    const QDate date = days_[day].date;
    if (date == today_)
        return QString::fromUtf8(txt::HistoryToday);
    if (date == today_.addDays(-1))
        return QString::fromUtf8(txt::HistoryYesterday);
    return QLocale(QLocale::Japanese, QLocale::Japan)
        .toString(date, QString::fromUtf8(txt::HistoryDayFormat));
}

QModelIndex HistoryModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return QModelIndex();
    if (!parent.isValid())
        return row < int(days_.size()) ? createIndex(row, 0, kDayRow) : QModelIndex();
    if (parent.internalId() != kDayRow)
        return QModelIndex();
    const DayRows &day = days_[parent.row()];
    return row < int(day.end - day.begin) ? createIndex(row, 0, quintptr(parent.row()) + 1) : QModelIndex();
}

QModelIndex HistoryModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == kDayRow)
        return QModelIndex();
    return createIndex(int(child.internalId() - 1), 0, kDayRow);
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(days_.size());
    if (parent.internalId() != kDayRow)
        return 0;
    const DayRows &day = days_[parent.row()];
    return int(day.end - day.begin);
}

int HistoryModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const HistoryEntry *entry = Entry(index);
    if (index.internalId() == kDayRow)
        return role == Qt::DisplayRole ? QVariant(DayLabel(index.row())) : QVariant();
    if (!entry)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return entry->title.empty() ? QString::fromStdString(entry->url)
                                    : QString::fromStdString(entry->title);
    case Qt::ToolTipRole:
        return QString::fromStdString(entry->url);
    case Qt::UserRole:
        return QString::fromStdString(entry->url);
    default:
        return QVariant();
    }
}

THistoryPanel::THistoryPanel(HistoryStore &store, QWidget *parent)
    : QWidget(parent), store_(store), search_(new QLineEdit(this)), tree_(new QTreeView(this))
{
    setObjectName(QStringLiteral("HistoryPanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    search_->setPlaceholderText(QString::fromUtf8(txt::HistorySearch));
    search_->setClearButtonEnabled(true);
    layout->addWidget(search_);
    tree_->setModel(&model_);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    tree_->setExpandsOnDoubleClick(true);
    layout->addWidget(tree_);
    tree_->viewport()->installEventFilter(this);
    tree_->installEventFilter(this);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(200);
    connect(&refreshTimer_, &QTimer::timeout, this, Guard([this] { Refresh(); }));
    connect(&store_, &HistoryStore::Changed, this, [this] {
        if (isVisible() && !refreshTimer_.isActive())
            refreshTimer_.start();
    });
    connect(search_, &QLineEdit::textChanged, this, [this] { refreshTimer_.start(); });
    connect(tree_, &QTreeView::activated, this, Guard([this](const QModelIndex &index) {
                Open(index, QApplication::keyboardModifiers() & Qt::ControlModifier);
            }));
    connect(tree_, &QTreeView::customContextMenuRequested, this,
            Guard([this](const QPoint &pos) { ShowMenu(pos); }));
}

void THistoryPanel::Refresh()
{
    refreshTimer_.stop();
    const QDate today = QDate::currentDate();
    model_.Reset(store_.Index(), search_->text(), today);
    // Today's pages (or, while searching, every day found) stand open.
    const bool searching = !search_->text().trimmed().isEmpty();
    for (int day = 0; day < model_.rowCount(); ++day) {
        const QModelIndex index = model_.index(day, 0);
        if (searching || model_.Day(index) == today)
            tree_->expand(index);
    }
}

void THistoryPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Refresh();
}

void THistoryPanel::Open(const QModelIndex &index, bool newWindow)
{
    if (const HistoryEntry *entry = model_.Entry(index))
        emit OpenRequested(QString::fromStdString(entry->url), newWindow);
}

void THistoryPanel::DeleteAt(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    if (const HistoryEntry *entry = model_.Entry(index)) {
        store_.Remove(QString::fromStdString(entry->url));
    } else {
        const QDate day = model_.Day(index);
        const qint64 from = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
        const qint64 to = QDateTime(day.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
        if (search_->text().trimmed().isEmpty()) {
            store_.RemoveVisitedBetween(from, to);
        } else {
            // While searching, a day holds only the entries found: only they go.
            std::vector<QString> urls;
            for (int row = 0; row < model_.rowCount(index); ++row) {
                if (const HistoryEntry *entry = model_.Entry(model_.index(row, 0, index)))
                    urls.push_back(QString::fromStdString(entry->url));
            }
            for (const QString &url : urls)
                store_.Remove(url);
        }
    }
    Refresh();
}

void THistoryPanel::ShowMenu(const QPoint &pos)
{
    const QModelIndex index = tree_->indexAt(pos);
    if (!index.isValid())
        return;
    QMenu menu(this);
    if (model_.Entry(index)) {
        QAction *open = menu.addAction(QString::fromUtf8(txt::HistoryOpen));
        QAction *openNew = menu.addAction(QString::fromUtf8(txt::HistoryOpenNew));
        menu.addSeparator();
        QAction *remove = menu.addAction(QString::fromUtf8(txt::HistoryDelete));
        QAction *chosen = menu.exec(tree_->viewport()->mapToGlobal(pos));
        if (chosen == open || chosen == openNew)
            Open(index, chosen == openNew);
        else if (chosen == remove)
            DeleteAt(index);
    } else {
        QAction *remove = menu.addAction(QString::fromUtf8(txt::HistoryDeleteDay));
        if (menu.exec(tree_->viewport()->mapToGlobal(pos)) == remove)
            DeleteAt(index);
    }
}

bool THistoryPanel::eventFilter(QObject *watched, QEvent *event)
{
    bool handled = false;
    Guarded([&] {
        if (watched == tree_ && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
            DeleteAt(tree_->currentIndex());
            handled = true;
        }
        if (watched == tree_->viewport() && event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::MiddleButton ||
                (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier))) {
                const QModelIndex index = tree_->indexAt(mouse->pos());
                if (model_.Entry(index)) {
                    Open(index, true);
                    handled = true;
                }
            }
        }
    });
    return handled || QWidget::eventFilter(watched, event);
}

} // namespace orvex
