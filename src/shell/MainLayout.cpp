// The bars of the main window: the two bands of the top band bar (order, row
// break, width), the five view toggles, the side bar's width and collapse
// button, the layout rules applied at every resize, and the "Bar" section of
// the settings file that keeps all of it between runs.
//
// The band bar is the main window's top tool bar area. A band's position is
// the bar's place in that area, a row break is a tool bar break before it.
#include "shell/Main.h"

#include "browser/untTab.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionToolBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

namespace orvex {

namespace {

constexpr int kBandCount = 2;
constexpr int kDefaultBandWidth = 200;

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

struct BandSlot {
    int id;
    int width;
    bool rowBreak;
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

namespace {

TBand *BandWithId(TMainForm &form, int id)
{
    return id == 0 ? form.Controls().ToolBar2 : id == 1 ? form.Controls().ToolBar3 : nullptr;
}

int IdOfBand(const TMainForm &form, const QToolBar *bar)
{
    return bar == form.Controls().ToolBar2 ? 0 : 1;
}

// The two bands in position order. A bar that follows a break lies on the
// second row; on one row, the shown geometry tells the order. A hidden bar
// has no geometry to go by, so the order and widths last seen while both
// bars were shown are remembered on the bars and used then.
std::array<QToolBar *, kBandCount> BandsInOrder(TMainForm &form)
{
    QToolBar *a = form.Controls().ToolBar2;
    QToolBar *b = form.Controls().ToolBar3;
    for (QToolBar *bar : {a, b}) {
        if (bar->isVisible())
            bar->setProperty(kBandWidthProperty, bar->width());
    }
    const bool breakA = form.toolBarBreak(a);
    const bool breakB = form.toolBarBreak(b);
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

// A table read from a hand-edited file may name a band twice or one that
// does not exist; the layout then falls back to the default.
bool NamesEachBandOnce(const std::array<BandSlot, kBandCount> &bands)
{
    return (bands[0].id == 0 && bands[1].id == 1) || (bands[0].id == 1 && bands[1].id == 0);
}

} // namespace

void TMainForm::BandPositionRead()
{
    const SettingsFile settings = Settings();
    std::array<BandSlot, kBandCount> bands{};
    for (int n = 0; n < kBandCount; ++n) {
        bands[n].id = settings.ReadInteger(keys::BarSection, BandKey(n, "ID"), n);
        bands[n].width = settings.ReadInteger(keys::BarSection, BandKey(n, "Width"), kDefaultBandWidth);
        bands[n].rowBreak = settings.ReadFlagNonZero(keys::BarSection, BandKey(n, "Break"), 1);
    }
    mnuShow_default->setChecked(settings.NonZero(keys::BarToolBar));
    mnuShow_Address->setChecked(settings.NonZero(keys::BarAddressBar));
    mnuShow_Status->setChecked(settings.NonZero(keys::BarStatusBar));
    mnuShow_Tab->setChecked(settings.NonZero(keys::BarTabBar));
    mnuShow_J->setChecked(settings.NonZero(keys::BarJBar));
    SetJBarWidth(settings.Read(keys::BarJBarSize));
    btnBarTag = settings.Read(keys::BarJBarMax);

    if (!NamesEachBandOnce(bands)) {
        for (int n = 0; n < kBandCount; ++n)
            bands[n] = BandSlot{n, kDefaultBandWidth, true};
    }

    // Rebuild the top area in one go. removeToolBar() hides a bar, so each
    // bar's own shown or hidden state is put back afterwards.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    const bool hidden2 = ToolBar2->isHidden();
    const bool hidden3 = ToolBar3->isHidden();
    removeToolBar(ToolBar2);
    removeToolBar(ToolBar3);
    for (int n = 0; n < kBandCount; ++n) {
        TBand *bar = BandWithId(*this, bands[n].id);
        // The first band always starts the first row; only a later band's
        // break makes a new row.
        if (n > 0 && bands[n].rowBreak)
            addToolBarBreak(Qt::TopToolBarArea);
        addToolBar(Qt::TopToolBarArea, bar);
        bar->setProperty(kBandPositionProperty, n);
        SetBandWidth(bar, bands[n].width);
    }
    ToolBar2->setVisible(!hidden2);
    ToolBar3->setVisible(!hidden3);
    setUpdatesEnabled(updates);
}

void TMainForm::BandPositionWrite()
{
    const SettingsFile settings = Settings();
    const std::array<QToolBar *, kBandCount> order = BandsInOrder(*this);
    for (int n = 0; n < kBandCount; ++n) {
        settings.WriteInteger(keys::BarSection, BandKey(n, "ID"), IdOfBand(*this, order[n]));
        settings.WriteInteger(keys::BarSection, BandKey(n, "Width"), BandWidth(order[n]));
        // The band at position 0 begins the first row.
        settings.WriteBool(keys::BarSection, BandKey(n, "Break"), n == 0 || toolBarBreak(order[n]));
    }
    settings.WriteFlag(keys::BarToolBar, mnuShow_default->isChecked());
    settings.WriteFlag(keys::BarAddressBar, mnuShow_Address->isChecked());
    settings.WriteFlag(keys::BarStatusBar, mnuShow_Status->isChecked());
    settings.WriteFlag(keys::BarTabBar, mnuShow_Tab->isChecked());
    settings.WriteFlag(keys::BarJBar, mnuShow_J->isChecked());
    settings.Write(keys::BarJBarSize, JBarWidth());
    settings.Write(keys::BarJBarMax, btnBarTag);
}

void TMainForm::CoolBar1MouseUp()
{
    BandsInOrder(*this); // remember what the drag made of the bands
    // The address box is the one expanding control of the address bar, so
    // the bar's layout gives it the whole width less the label and the "移動"
    // button, and the button ends at the bar's right edge.
    QSizePolicy policy = txtAddress->sizePolicy();
    if (policy.horizontalPolicy() != QSizePolicy::Expanding) {
        policy.setHorizontalPolicy(QSizePolicy::Expanding);
        txtAddress->setSizePolicy(policy);
    }
    if (QLayout *layout = ToolBar3->layout())
        layout->activate();
}

void TMainForm::ReorderBandsAfterDrag(QToolBar *dragged, const QPoint &from, const QPoint &to)
{
    // Dragged along its row, a band only moves within the room it has; the
    // bar cannot pass the other band. Let go past the other band's middle,
    // the two change places, as the bands of a band bar do.
    QToolBar *other = dragged == ToolBar2 ? static_cast<QToolBar *>(ToolBar3) : ToolBar2;
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
    ToolBar2->SetPreferredWidth(bandWidthsAtPress_[0]);
    ToolBar3->SetPreferredWidth(bandWidthsAtPress_[1]);
    QToolBar *first = draggedFirst ? other : dragged;
    QToolBar *second = draggedFirst ? dragged : other;
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    removeToolBar(first);
    removeToolBar(second);
    addToolBar(Qt::TopToolBarArea, first);
    addToolBar(Qt::TopToolBarArea, second);
    first->show();
    second->show();
    setUpdatesEnabled(updates);
    BandsInOrder(*this);
    CoolBar1MouseUp();
}

// ---------------------------------------------------------------------------
// View toggles.

void TMainForm::ViewToolBar()
{
    const std::pair<QAction *, QWidget *> views[] = {
        {mnuShow_default, ToolBar2}, {mnuShow_Address, ToolBar3}, {mnuShow_Status, ToolBar1},
        {mnuShow_Tab, TabBar},       {mnuShow_J, JBar},
    };
    for (const auto &[item, bar] : views) {
        if (!item->isChecked())
            bar->hide();
    }
}

void TMainForm::ToggleBar(QAction *item, QWidget *bar)
{
    // Decided by the bar, not the check mark: a checkable action has already
    // flipped its own mark when its triggered() signal arrives.
    const bool show = bar->isHidden();
    if (!show)
        BandsInOrder(*this); // last chance to see a band's place and width
    bar->setVisible(show);
    item->setChecked(show);
}

// ---------------------------------------------------------------------------
// Side bar.

int TMainForm::JBarWidth() const
{
    // The width is fixed; the fixed value holds even while the bar is hidden
    // or not yet laid out.
    return JBar->minimumWidth() == JBar->maximumWidth() ? JBar->minimumWidth() : JBar->width();
}

void TMainForm::SetJBarWidth(int width)
{
    JBar->setFixedWidth(std::clamp(width, kCollapsedJBarWidth, kMaxJBarWidth));
}

void TMainForm::btnBarClick()
{
    if (btnBarTag == 0) {
        btnBarTag = JBarWidth();
        SetJBarWidth(kCollapsedJBarWidth);
    } else {
        SetJBarWidth(btnBarTag);
        btnBarTag = 0;
    }
}

void TMainForm::JBarMouseUp(int x)
{
    SetJBarWidth(x > kCollapsedJBarWidth ? x : kCollapsedJBarWidth);
}

void TMainForm::JBarResize()
{
    // The tree leaves 10 px: the 8 px collapse button and a 2 px edge to
    // drag the bar by.
    const int width = JBar->width();
    const int height = JBar->height();
    TreeView1->setGeometry(0, 0, std::max(0, width - 10), height);
    btnBar->setGeometry(std::max(0, width - 10), 0, 8, height);
}

// ---------------------------------------------------------------------------
// Layout rules, at every resize.

void TMainForm::LayoutRules()
{
    // The status strip's two controls are placed here rather than by a
    // layout: at 260 px or less they keep the widths they had.
    if (QLayout *layout = ToolBar1->layout(); layout && layout->isEnabled())
        layout->setEnabled(false);
    // A label's minimum width is its whole text; a long status text must
    // not set a minimum width for the window.
    QSizePolicy policy = StatusBar1->sizePolicy();
    if (policy.horizontalPolicy() != QSizePolicy::Ignored) {
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        StatusBar1->setSizePolicy(policy);
    }
    const int strip = ToolBar1->width();
    const int height = ToolBar1->height();
    if (strip > kStatusStripThreshold) {
        StatusBar1->setGeometry(0, 0, strip - kProgressWidth, height);
        ProgressBar1->setGeometry(strip - kProgressWidth, 0, kProgressWidth, height);
    } else {
        StatusBar1->resize(StatusBar1->width(), height);
        ProgressBar1->resize(ProgressBar1->width(), height);
    }

    CoolBar1MouseUp();

    TabControl1->setGeometry(0, 0, TabBar->width(), TabBar->height());
}

} // namespace orvex
