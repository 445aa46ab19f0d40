#include "shell/BarLayout.h"

#include "browser/BrowserHost.h"
#include "browser/ChildForm.h"
#include "platform/UiServices.h"
#include "shell/Band.h"
#include "shell/Main.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionToolBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace orvex {

namespace {

constexpr int kBandCount = 2;
constexpr int kDefaultBandWidth = 200;

constexpr int kDefaultJBarWidth = 153;
constexpr int kCollapsedJBarWidth = 11;
// A hand-edited "JBarSize" must not make the window wider than any screen.
constexpr int kMaxJBarWidth = 2000;

constexpr int kProgressWidth = 130;
constexpr int kStatusStripThreshold = 260;

// Remembered band place and width, for when the bar has no geometry of its
// own to tell them (hidden, or the window not yet shown).
const char *const kBandPositionProperty = "orvexBandPosition";
const char *const kBandWidthProperty = "orvexBandWidth";

std::string BandKey(int position, const char *what)
{
    return "Band" + std::to_string(position) + what;
}

// Whether each bar is shown, in the order of the view toggles.
const IntKey *const kShownKeys[] = {&keys::BarToolBar, &keys::BarAddressBar, &keys::BarStatusBar,
                                    &keys::BarTabBar, &keys::BarJBar};

struct BandSlot {
    int id;
    int width;
    bool rowBreak;
};

// A table read from a hand-edited file may name a band twice or one that
// does not exist; the layout then falls back to the default.
bool NamesEachBandOnce(const std::array<BandSlot, kBandCount> &bands)
{
    return (bands[0].id == 0 && bands[1].id == 1) || (bands[0].id == 1 && bands[1].id == 0);
}

int BandWidth(const QToolBar *bar)
{
    const QVariant remembered = bar->property(kBandWidthProperty);
    return bar->isVisible() || !remembered.isValid() ? bar->width() : remembered.toInt();
}

void SetBandWidth(TBand *bar, int width)
{
    bar->setProperty(kBandWidthProperty, width);
    bar->SetPreferredWidth(width);
}

// The status strip places its two controls itself (LayoutRules), without a
// layout; it is as high as the higher of them.
class StatusStrip : public QWidget {
public:
    using QWidget::QWidget;

    QSize sizeHint() const override
    {
        int height = 0;
        for (const QWidget *control : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            height = std::max(height, std::max(control->sizeHint().height(), control->minimumHeight()));
        return QSize(kProgressWidth, height);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace

// ---------------------------------------------------------------------------
// Bands.

void TBand::SetPreferredWidth(int width)
{
    preferredWidth_ = width;
    updateGeometry();
}

QRect TBand::HandleRect() const
{
    QStyleOptionToolBar option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_ToolBarHandle, &option, this);
}

QSize TBand::sizeHint() const
{
    const QSize controls = QToolBar::sizeHint();
    if (preferredWidth_ <= 0 || orientation() != Qt::Horizontal)
        return controls;
    return QSize(std::max(preferredWidth_, minimumSizeHint().width()), controls.height());
}

QSize TBand::minimumSizeHint() const
{
    // A tool bar narrower than its controls hides the last of them behind
    // an extension button; a band never gets that narrow.
    const QSize controls = QToolBar::sizeHint();
    if (orientation() != Qt::Horizontal)
        return QToolBar::minimumSizeHint();
    return QSize(controls.width(), QToolBar::minimumSizeHint().height());
}

// ---------------------------------------------------------------------------
// Construction.

BarLayout::BarLayout(TMainForm &form, PageIndicators &indicators) : QObject(&form), form_(form)
{
    BuildBands(indicators);
    BuildSideBar();
    BuildStatusStrip(indicators);
}

void BarLayout::BuildBands(PageIndicators &indicators)
{
    // The band bar: two movable bars in the top area, each starting a row.
    w_.ToolBar2 = new TBand(QStringLiteral("標準"), &form_);
    TBand *standard = w_.ToolBar2;
    standard->setObjectName(QStringLiteral("ToolBar2"));
    standard->setIconSize(QSize(16, 16));
    standard->setMinimumHeight(24);
    w_.ToolButton1 = standard->addAction(form_.Image(Picture::NewPage), QStringLiteral("空白"));
    connect(w_.ToolButton1, &QAction::triggered, this, Guard([this] { form_.ToolButton1Click(); }));
    standard->addSeparator();
    indicators.BackCtrl = standard->addAction(form_.Image(Picture::Back), QStringLiteral("戻る"));
    indicators.FrwrdCtrl = standard->addAction(form_.Image(Picture::Forward), QStringLiteral("進む"));
    indicators.StopCtrl = standard->addAction(form_.Image(Picture::Stop), QStringLiteral("中止"));
    indicators.ReLoadCtrl = standard->addAction(form_.Image(Picture::Reload), QStringLiteral("更新"));
    // The buttons double as the View menu's items: caption there, keys, and
    // the button's own name as its tip. A key works while its button is
    // enabled, so it acts on the active window as the button does.
    struct NavItem {
        QAction *action;
        void (TMainForm::*handler)();
        const char *caption;
        QKeySequence key;
    };
    const NavItem nav[] = {
        {indicators.BackCtrl, &TMainForm::BackCtrlClick, "戻る(&B)", QKeySequence(Qt::ALT | Qt::Key_Left)},
        {indicators.FrwrdCtrl, &TMainForm::FrwrdCtrlClick, "進む(&F)", QKeySequence(Qt::ALT | Qt::Key_Right)},
        {indicators.StopCtrl, &TMainForm::StopCtrlClick, "中止(&P)", QKeySequence(Qt::Key_Escape)},
        {indicators.ReLoadCtrl, &TMainForm::ReLoadCtrlClick, "最新の情報に更新(&R)",
         QKeySequence(Qt::Key_F5)},
    };
    for (const auto &[action, handler, caption, key] : nav) {
        action->setToolTip(action->text());
        action->setText(QString::fromUtf8(caption));
        action->setShortcut(key);
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, Guard([this, h = handler] { (form_.*h)(); }));
    }
    form_.addToolBar(Qt::TopToolBarArea, standard);
    form_.addToolBarBreak(Qt::TopToolBarArea);

    w_.ToolBar3 = new TBand(QStringLiteral("アドレスバー"), &form_);
    TBand *address = w_.ToolBar3;
    address->setObjectName(QStringLiteral("ToolBar3"));
    address->setMinimumHeight(24);
    w_.Label1 = new QLabel(QStringLiteral("アドレス"), address);
    w_.Label1->setMinimumWidth(44); // wider where the font needs it
    w_.txtAddress = new QLineEdit(address);
    w_.txtAddress->setObjectName(QStringLiteral("txtAddress"));
    // The connection indicator sits in a holder of its own: a widget of a
    // tool bar cannot be hidden by itself, the holder's label can.
    auto *connectionHolder = new QWidget(address);
    auto *connectionLayout = new QHBoxLayout(connectionHolder);
    connectionLayout->setContentsMargins(0, 0, 0, 0);
    w_.lblConnection = new QLabel(connectionHolder);
    w_.lblConnection->setObjectName(QStringLiteral("lblConnection"));
    connectionLayout->addWidget(w_.lblConnection);
    w_.btnMove = new QPushButton(QStringLiteral("移動"), address);
    w_.btnMove->setFixedWidth(41);
    address->addWidget(w_.Label1);
    ShowConnection(w_.lblConnection, ConnectionSecurity::None, QString());
    address->addWidget(connectionHolder);
    address->addWidget(w_.txtAddress);
    address->addWidget(w_.btnMove);
    connect(w_.btnMove, &QPushButton::clicked, this, Guard([this] { form_.btnMoveClick(); }));
    connect(w_.txtAddress, &QLineEdit::returnPressed, this,
            Guard([this] { form_.txtAddressKeyDown(Qt::Key_Return); }));
    form_.addToolBar(Qt::TopToolBarArea, address);
    for (QToolBar *bar : {static_cast<QToolBar *>(standard), static_cast<QToolBar *>(address)}) {
        bar->setMovable(true);
        bar->setFloatable(false); // a floating bar would have no place among the bands
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->installEventFilter(this);
    }
    indicators.txtAddress = w_.txtAddress;
    indicators.Connection = w_.lblConnection;
}

void BarLayout::BuildSideBar()
{
    // Side bar: the bookmark tree and its collapse button.
    w_.JBar = new QWidget;
    w_.JBar->setObjectName(QStringLiteral("JBar"));
    w_.JBar->setCursor(Qt::SizeHorCursor);
    w_.JBar->setFixedWidth(kDefaultJBarWidth);
    auto *jbarLayout = new QHBoxLayout(w_.JBar);
    jbarLayout->setContentsMargins(0, 0, 2, 0);
    jbarLayout->setSpacing(0);
    w_.TreeView1 = new QTreeWidget(w_.JBar);
    w_.TreeView1->setObjectName(QStringLiteral("TreeView1"));
    w_.TreeView1->header()->hide();
    w_.TreeView1->setIndentation(19);
    w_.TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w_.TreeView1->setCursor(Qt::ArrowCursor);
    w_.btnBar = new QToolButton(w_.JBar);
    w_.btnBar->setFixedWidth(8);
    w_.btnBar->setCursor(Qt::PointingHandCursor);
    w_.btnBar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    jbarLayout->addWidget(w_.TreeView1);
    jbarLayout->addWidget(w_.btnBar);
    connect(w_.btnBar, &QToolButton::clicked, this, Guard([this] { form_.btnBarClick(); }));
    connect(w_.TreeView1, &QTreeWidget::currentItemChanged, this,
            Guard([this](QTreeWidgetItem *node) { form_.TreeView1Change(node); }));
    w_.JBar->installEventFilter(this);
}

void BarLayout::BuildStatusStrip(PageIndicators &indicators)
{
    // Status strip: status text and progress, placed by LayoutRules.
    w_.ToolBar1 = new StatusStrip;
    w_.ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    w_.StatusBar1 = new QLabel(w_.ToolBar1);
    w_.StatusBar1->setFrameShape(QFrame::Panel);
    w_.StatusBar1->setFrameShadow(QFrame::Sunken);
    w_.StatusBar1->setMinimumHeight(20);
    // A label's minimum width is its whole text; a long status text must
    // not set a minimum width for the window.
    w_.StatusBar1->setSizePolicy(QSizePolicy::Ignored, w_.StatusBar1->sizePolicy().verticalPolicy());
    w_.ProgressBar1 = new QProgressBar(w_.ToolBar1);
    w_.ProgressBar1->setRange(0, 100);
    w_.ProgressBar1->setValue(0);
    w_.ProgressBar1->setTextVisible(false);
    w_.ProgressBar1->setFixedWidth(kProgressWidth);
    // The page zoom, at the right end of the status panel while it is not 100 %.
    auto *zoomLayout = new QHBoxLayout(w_.StatusBar1);
    zoomLayout->setContentsMargins(0, 0, 4, 0);
    zoomLayout->addStretch(1);
    w_.ZoomPanel = new QLabel(w_.StatusBar1);
    w_.ZoomPanel->setObjectName(QStringLiteral("ZoomPanel"));
    w_.ZoomPanel->setAutoFillBackground(true);
    w_.ZoomPanel->hide();
    zoomLayout->addWidget(w_.ZoomPanel);
    w_.ToolBar1->installEventFilter(this);
    indicators.ProgressBar1 = w_.ProgressBar1;
    indicators.StatusPanel = w_.StatusBar1;
    indicators.ZoomPanel = w_.ZoomPanel;
}

// ---------------------------------------------------------------------------
// Events of the bars.

bool BarLayout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == w_.JBar) {
        if (event->type() == QEvent::MouseButtonPress) {
            jbarDragging_ = true;
        } else if (event->type() == QEvent::MouseButtonRelease && jbarDragging_) {
            jbarDragging_ = false;
            const int x = static_cast<QMouseEvent *>(event)->pos().x();
            Guarded([this, x] { form_.JBarMouseUp(x); });
        } else if (event->type() == QEvent::Resize) {
            Guarded([this] { form_.JBarResize(); });
        }
    } else if ((watched == w_.ToolBar2 || watched == w_.ToolBar3) &&
               (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *band = static_cast<TBand *>(watched);
        if (event->type() == QEvent::MouseButtonPress) {
            if (mouse->button() == Qt::LeftButton && band->HandleRect().contains(mouse->pos())) {
                bandPressed_ = band;
                bandPressPos_ = mouse->globalPos();
                bandWidthsAtPress_ = {w_.ToolBar2->width(), w_.ToolBar3->width()};
            }
        } else {
            Guarded([this] { form_.CoolBar1MouseUp(); });
            if (bandPressed_ == watched && mouse->button() == Qt::LeftButton) {
                // After the bar has ended its own move of the band.
                const QPoint from = bandPressPos_, to = mouse->globalPos();
                QTimer::singleShot(0, this, Guard([this, bar = bandPressed_, from, to] {
                                       ReorderBandsAfterDrag(bar, from, to);
                                   }));
            }
            bandPressed_ = nullptr;
        }
    } else if (watched == w_.ToolBar1 && event->type() == QEvent::Resize) {
        Guarded([this] { LayoutRules(); });
    }
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Band order and the "Bar" section.

TBand *BarLayout::BandWithId(int id) const
{
    return id == 0 ? w_.ToolBar2 : id == 1 ? w_.ToolBar3 : nullptr;
}

int BarLayout::IdOfBand(const QToolBar *bar) const
{
    return bar == w_.ToolBar2 ? 0 : 1;
}

// The two bands in position order. A bar that follows a break lies on the
// second row; on one row, the shown geometry tells the order. A hidden bar
// has no geometry to go by, so the order and widths last seen while both
// bars were shown are remembered on the bars and used then.
std::array<QToolBar *, kBandCount> BarLayout::BandsInOrder()
{
    QToolBar *a = w_.ToolBar2;
    QToolBar *b = w_.ToolBar3;
    for (QToolBar *bar : {a, b}) {
        if (bar->isVisible())
            bar->setProperty(kBandWidthProperty, bar->width());
    }
    const bool breakA = form_.toolBarBreak(a);
    const bool breakB = form_.toolBarBreak(b);
    bool aFirst;
    if (breakA != breakB) {
        aFirst = breakB;
    } else if (a->isVisible() && b->isVisible() && a->geometry().topLeft() != b->geometry().topLeft()) {
        const QPoint pa = a->geometry().topLeft(), pb = b->geometry().topLeft();
        aFirst = pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    } else {
        aFirst = a->property(kBandPositionProperty).toInt() <= b->property(kBandPositionProperty).toInt();
    }
    std::array<QToolBar *, kBandCount> order =
        aFirst ? std::array<QToolBar *, 2>{a, b} : std::array<QToolBar *, 2>{b, a};
    for (int n = 0; n < kBandCount; ++n)
        order[n]->setProperty(kBandPositionProperty, n);
    return order;
}

void BarLayout::BandPositionRead()
{
    const SettingsFile settings = form_.Settings();
    std::array<BandSlot, kBandCount> bands{};
    for (int n = 0; n < kBandCount; ++n) {
        bands[n].id = settings.ReadInteger(keys::BarSection, BandKey(n, "ID"), n);
        bands[n].width = settings.ReadInteger(keys::BarSection, BandKey(n, "Width"), kDefaultBandWidth);
        bands[n].rowBreak = settings.ReadFlagNonZero(keys::BarSection, BandKey(n, "Break"), 1);
    }
    for (size_t i = 0; i < toggles_.size(); ++i)
        toggles_[i].item->setChecked(settings.NonZero(*kShownKeys[i]));
    SetJBarWidth(settings.Read(keys::BarJBarSize));
    btnBarTag_ = settings.Read(keys::BarJBarMax);

    if (!NamesEachBandOnce(bands)) {
        for (int n = 0; n < kBandCount; ++n)
            bands[n] = BandSlot{n, kDefaultBandWidth, true};
    }

    // Rebuild the top area in one go. removeToolBar() hides a bar, so each
    // bar's own shown or hidden state is put back afterwards.
    const bool updates = form_.updatesEnabled();
    form_.setUpdatesEnabled(false);
    const bool hidden2 = w_.ToolBar2->isHidden();
    const bool hidden3 = w_.ToolBar3->isHidden();
    form_.removeToolBar(w_.ToolBar2);
    form_.removeToolBar(w_.ToolBar3);
    for (int n = 0; n < kBandCount; ++n) {
        TBand *bar = BandWithId(bands[n].id);
        // The first band always starts the first row; only a later band's
        // break makes a new row.
        if (n > 0 && bands[n].rowBreak)
            form_.addToolBarBreak(Qt::TopToolBarArea);
        form_.addToolBar(Qt::TopToolBarArea, bar);
        bar->setProperty(kBandPositionProperty, n);
        SetBandWidth(bar, bands[n].width);
    }
    w_.ToolBar2->setVisible(!hidden2);
    w_.ToolBar3->setVisible(!hidden3);
    form_.setUpdatesEnabled(updates);
}

void BarLayout::BandPositionWrite()
{
    const SettingsFile settings = form_.Settings();
    const std::array<QToolBar *, kBandCount> order = BandsInOrder();
    for (int n = 0; n < kBandCount; ++n) {
        settings.WriteInteger(keys::BarSection, BandKey(n, "ID"), IdOfBand(order[n]));
        settings.WriteInteger(keys::BarSection, BandKey(n, "Width"), BandWidth(order[n]));
        // The band at position 0 begins the first row.
        settings.WriteBool(keys::BarSection, BandKey(n, "Break"), n == 0 || form_.toolBarBreak(order[n]));
    }
    for (size_t i = 0; i < toggles_.size(); ++i)
        settings.WriteFlag(*kShownKeys[i], toggles_[i].item->isChecked());
    settings.Write(keys::BarJBarSize, JBarWidth());
    settings.Write(keys::BarJBarMax, btnBarTag_);
}

void BarLayout::CoolBar1MouseUp()
{
    BandsInOrder(); // remember what the drag made of the bands
    // The address box is the one expanding control of the address bar, so
    // the bar's layout gives it the whole width less the label and the "移動"
    // button, and the button ends at the bar's right edge.
    QSizePolicy policy = w_.txtAddress->sizePolicy();
    if (policy.horizontalPolicy() != QSizePolicy::Expanding) {
        policy.setHorizontalPolicy(QSizePolicy::Expanding);
        w_.txtAddress->setSizePolicy(policy);
    }
    if (QLayout *layout = w_.ToolBar3->layout())
        layout->activate();
}

void BarLayout::ReorderBandsAfterDrag(QToolBar *dragged, const QPoint &from, const QPoint &to)
{
    // Dragged along its row, a band only moves within the room it has; the
    // bar cannot pass the other band. Let go past the other band's middle,
    // the two change places, as the bands of a band bar do.
    QToolBar *other = dragged == w_.ToolBar2 ? static_cast<QToolBar *>(w_.ToolBar3) : w_.ToolBar2;
    if (!dragged->isVisible() || !other->isVisible() || dragged->y() != other->y())
        return;
    if (std::abs(to.x() - from.x()) < QApplication::startDragDistance())
        return;
    const QRect row = QRect(other->mapToGlobal(QPoint(0, 0)), other->size());
    if (to.y() < row.top() || to.y() > row.bottom())
        return; // let go off the row: the bar's own docking has handled it
    const bool draggedFirst = dragged->x() < other->x();
    const int middle = row.center().x();
    if (draggedFirst ? to.x() <= middle : to.x() >= middle)
        return;
    // Each keeps the width it had before the drag, which the bar's own move
    // of the band has changed; both are laid out anew in their new order.
    w_.ToolBar2->SetPreferredWidth(bandWidthsAtPress_[0]);
    w_.ToolBar3->SetPreferredWidth(bandWidthsAtPress_[1]);
    QToolBar *first = draggedFirst ? other : dragged;
    QToolBar *second = draggedFirst ? dragged : other;
    const bool updates = form_.updatesEnabled();
    form_.setUpdatesEnabled(false);
    form_.removeToolBar(first);
    form_.removeToolBar(second);
    form_.addToolBar(Qt::TopToolBarArea, first);
    form_.addToolBar(Qt::TopToolBarArea, second);
    first->show();
    second->show();
    form_.setUpdatesEnabled(updates);
    BandsInOrder();
    CoolBar1MouseUp();
}

// ---------------------------------------------------------------------------
// View toggles.

void BarLayout::ViewToolBar()
{
    for (const ViewToggle &toggle : toggles_) {
        if (!toggle.item->isChecked())
            toggle.bar->hide();
    }
}

void BarLayout::ToggleBar(QAction *item, QWidget *bar)
{
    // Decided by the bar, not the check mark: a checkable action has already
    // flipped its own mark when its triggered() signal arrives.
    const bool show = bar->isHidden();
    if (!show)
        BandsInOrder(); // last chance to see a band's place and width
    bar->setVisible(show);
    item->setChecked(show);
}

// ---------------------------------------------------------------------------
// Side bar.

int BarLayout::JBarWidth() const
{
    // The width is fixed; the fixed value holds even while the bar is hidden
    // or not yet laid out.
    const QWidget *bar = w_.JBar;
    return bar->minimumWidth() == bar->maximumWidth() ? bar->minimumWidth() : bar->width();
}

void BarLayout::SetJBarWidth(int width)
{
    w_.JBar->setFixedWidth(std::clamp(width, kCollapsedJBarWidth, kMaxJBarWidth));
}

void BarLayout::btnBarClick()
{
    if (btnBarTag_ == 0) {
        btnBarTag_ = JBarWidth();
        SetJBarWidth(kCollapsedJBarWidth);
    } else {
        SetJBarWidth(btnBarTag_);
        btnBarTag_ = 0;
    }
}

void BarLayout::JBarMouseUp(int x)
{
    SetJBarWidth(x > kCollapsedJBarWidth ? x : kCollapsedJBarWidth);
}

void BarLayout::JBarResize()
{
    // The tree leaves 10 px: the 8 px collapse button and a 2 px edge to
    // drag the bar by.
    const int width = w_.JBar->width();
    const int height = w_.JBar->height();
    w_.TreeView1->setGeometry(0, 0, std::max(0, width - 10), height);
    w_.btnBar->setGeometry(std::max(0, width - 10), 0, 8, height);
}

void BarLayout::FocusAddress()
{
    if (!w_.txtAddress->isVisible())
        return;
    w_.txtAddress->setFocus(Qt::ShortcutFocusReason);
    w_.txtAddress->selectAll();
}

// ---------------------------------------------------------------------------
// Layout rules, at every resize.

void BarLayout::LayoutRules()
{
    // The status strip's two controls are placed here rather than by a
    // layout: at 260 px or less they keep the widths they had.
    const int strip = w_.ToolBar1->width();
    const int height = w_.ToolBar1->height();
    if (strip > kStatusStripThreshold) {
        w_.StatusBar1->setGeometry(0, 0, strip - kProgressWidth, height);
        w_.ProgressBar1->setGeometry(strip - kProgressWidth, 0, kProgressWidth, height);
    } else {
        w_.StatusBar1->resize(w_.StatusBar1->width(), height);
        w_.ProgressBar1->resize(w_.ProgressBar1->width(), height);
    }
    CoolBar1MouseUp();
}

} // namespace orvex
