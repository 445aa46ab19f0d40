#include "history/AddressCompleter.h"

#include "history/HistoryStore.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

namespace orvex {

TAddressCompleter::TAddressCompleter(QLineEdit &box, HistoryStore &store, BookmarkSource bookmarks,
                                     QObject *parent)
    : QObject(parent), box_(box), store_(store), bookmarks_(std::move(bookmarks)), popup_(new QTreeWidget)
{
    // A tool-tip window takes no focus: the keys stay in the address box.
    popup_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    popup_->setAttribute(Qt::WA_ShowWithoutActivating);
    popup_->setFocusPolicy(Qt::NoFocus);
    popup_->setObjectName(QStringLiteral("AddressCompletion"));
    popup_->setColumnCount(2);
    popup_->setHeaderHidden(true);
    popup_->setRootIsDecorated(false);
    popup_->setUniformRowHeights(true);
    popup_->setSelectionMode(QAbstractItemView::SingleSelection);
    popup_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    popup_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    popup_->setMouseTracking(true);

    queryTimer_.setSingleShot(true);
    queryTimer_.setInterval(0);
    connect(&queryTimer_, &QTimer::timeout, this, Guard([this] { Update(); }));
    connect(&box_, &QLineEdit::textEdited, this, [this](const QString &text) {
        typed_ = text;
        current_ = -1;
        queryTimer_.start();
    });
    connect(popup_, &QTreeWidget::itemClicked, this, Guard([this](QTreeWidgetItem *item) {
                const int row = popup_->indexOfTopLevelItem(item);
                if (row < 0 || row >= int(matches_.size()))
                    return;
                const QString url = QString::fromStdString(matches_[row].url);
                box_.setText(url);
                Hide();
                emit Chosen(url);
            }));
    box_.installEventFilter(this);
}

TAddressCompleter::~TAddressCompleter()
{
    delete popup_;
}

bool TAddressCompleter::IsShown() const
{
    return popup_->isVisible();
}

void TAddressCompleter::Hide()
{
    queryTimer_.stop();
    popup_->hide();
    current_ = -1;
}

void TAddressCompleter::Update()
{
    queryTimer_.stop();
    current_ = -1;
    matches_.clear();
    if (!typed_.trimmed().isEmpty()) {
        matches_ = store_.Index().Complete(typed_.toStdString(), kShown, QDateTime::currentMSecsSinceEpoch(),
                                           bookmarks_ ? bookmarks_() : std::vector<CompletionBookmark>());
    }
    popup_->clear();
    if (matches_.empty()) {
        popup_->hide();
        return;
    }
    const QString mark = QString::fromUtf8(txt::HistoryBookmarkMark) + ' ';
    for (const CompletionMatch &match : matches_) {
        const QString title = QString::fromStdString(match.title);
        auto *item = new QTreeWidgetItem(popup_);
        item->setText(0, (match.bookmark ? mark : QString()) +
                             (title.isEmpty() ? QString::fromStdString(match.url) : title));
        item->setText(1, QString::fromStdString(match.url));
        item->setToolTip(1, QString::fromStdString(match.url));
    }
    Place();
    popup_->show();
}

void TAddressCompleter::Place()
{
    const int width = std::max(box_.width(), 400);
    popup_->setColumnWidth(0, width / 2);
    popup_->setColumnWidth(1, width - width / 2);
    const int rowHeight = popup_->sizeHintForRow(0) > 0 ? popup_->sizeHintForRow(0) : box_.height();
    popup_->resize(width, rowHeight * int(matches_.size()) + 2 * popup_->frameWidth() + 2);
    popup_->move(box_.mapToGlobal(QPoint(0, box_.height())));
}

void TAddressCompleter::Choose(int row)
{
    current_ = row;
    if (row < 0) {
        popup_->clearSelection();
        popup_->setCurrentItem(nullptr);
        ShowInBox(typed_);
        return;
    }
    QTreeWidgetItem *item = popup_->topLevelItem(row);
    popup_->setCurrentItem(item);
    item->setSelected(true);
    ShowInBox(QString::fromStdString(matches_[row].url));
}

void TAddressCompleter::ShowInBox(const QString &text)
{
    // Still the user's typing, not yet sent: the page in front leaves it.
    box_.setText(text);
    box_.setModified(true);
}

bool TAddressCompleter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &box_)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut || event->type() == QEvent::Hide) {
        // A click on the list itself takes no focus, so this is the user
        // leaving the box.
        Hide();
        return false;
    }
    if (event->type() != QEvent::KeyPress || !IsShown())
        return false;
    bool handled = false;
    Guarded([&] {
        const int count = int(matches_.size());
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Down:
            Choose(current_ + 1 < count ? current_ + 1 : -1);
            handled = true;
            break;
        case Qt::Key_Up:
            Choose(current_ < 0 ? count - 1 : current_ - 1);
            handled = true;
            break;
        case Qt::Key_Escape:
            ShowInBox(typed_);
            Hide();
            handled = true;
            break;
        case Qt::Key_Delete:
            if (current_ >= 0 && matches_[current_].inHistory) {
                store_.Remove(QString::fromStdString(matches_[current_].url));
                ShowInBox(typed_);
                Update();
                handled = true;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // The box holds the chosen address; its own Enter opens it.
            Hide();
            break;
        default:
            break;
        }
    });
    return handled;
}

} // namespace orvex
