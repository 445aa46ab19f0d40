#include "shell/TabStrip.h"

#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "core/ColorText.h"
#include "core/LineList.h"
#include "core/ProfileFile.h"
#include "core/Settings.h"
#include "platform/UiServices.h"
#include "shell/Main.h"
#include "shell/SleepPolicy.h"
#include "shell/WindowRegistry.h"

#include <QEvent>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <algorithm>

namespace orvex {

TabStrip::TabStrip(TMainForm &form, WindowRegistry &windows)
    : QObject(&form), form_(form), windows_(windows), bar_(new QWidget), control_(new TTabControl(bar_)),
      popup_(new QMenu(&form))
{
    bar_->setObjectName(QStringLiteral("TabBar"));
    bar_->setFixedHeight(28);
    control_->setObjectName(QStringLiteral("TabControl1"));
    bar_->installEventFilter(this);

    connect(&windows_, &WindowRegistry::inserted, control_, Guard([this](int index) {
        control_->InsertTab(index, windows_.At(index).text, windows_.Selected());
    }));
    connect(&windows_, &WindowRegistry::removed, control_,
            Guard([this](int index) { control_->RemoveTab(index, windows_.Selected()); }));
    connect(&windows_, &WindowRegistry::renamed, control_,
            Guard([this](int index) { control_->SetCaption(index, windows_.At(index).text); }));
    connect(&windows_, &WindowRegistry::selected, control_,
            Guard([this](int index) { control_->FollowSelection(index); }));
    connect(control_, &TTabControl::TabChosen, &windows_,
            Guard([this](int index) { windows_.Choose(index); }));
}

bool TabStrip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == bar_ && event->type() == QEvent::Resize)
        control_->setGeometry(0, 0, bar_->width(), bar_->height());
    return QObject::eventFilter(watched, event);
}

int TabStrip::FindTab(int32_t number) const
{
    return windows_.FindTab(number);
}

void TabStrip::RemoveTab(int32_t number)
{
    if (windows_.TabClosing())
        return;
    // Only the window's own tab goes; a window without one removes nothing.
    const int index = windows_.IndexOf(number);
    if (index < 0)
        return;
    const int remembered = windows_.Selected();
    windows_.Remove(index);
    windows_.Select(remembered);
}

void TabStrip::HitTestTab(const QPoint &pos)
{
    const int index = control_->tabAt(pos);
    popupTab_ = index < 0 ? kNoTab : index;
}

bool TabStrip::CloseTab(int index)
{
    if (index < 0 || index >= windows_.Count())
        return false; // the press named no tab
    const int32_t number = windows_.At(index).number;
    TChildForm *child = windows_.At(index).child;
    if (!child) {
        windows_.Remove(index);
        return true;
    }
    // The page is asked first; once it agrees, its window and tab go.
    QPointer<TabStrip> self(this);
    QPointer<TChildForm> page(child);
    child->AskPageToClose([self, page, number](bool mayClose) {
        if (!self || !mayClose)
            return; // the page stays, and its tab with it
        if (page) {
            self->windows_.SetTabClosing(true);
            page->CloseAgreed();
            self->windows_.SetTabClosing(false);
        }
        self->windows_.Remove(self->windows_.IndexOf(number));
    });
    return false;
}

void TabStrip::AddCloseURL(int index)
{
    if (index < 0 || index >= windows_.Count())
        return;
    const std::string path = form_.AppDir() + "CloseURL.txt";
    std::vector<std::string> lines = LoadLineList(path);
    if (TChildForm *child = windows_.At(index).child)
        lines.push_back(FromQ(child->Browser()->LocationURL()));
    SaveLineList(path, lines);
}

void TabStrip::ShowTab(int index)
{
    if (index < 0 || index >= windows_.Count())
        return;
    const int32_t number = windows_.At(index).number;
    ArrangingScope arranging(form_);
    QMdiArea *area = form_.Controls().mdiArea;
    for (TChildForm *child : windows_.Children()) {
        if (child->Tag != number)
            continue;
        // The window in front already (the tab chosen again after a window
        // opened behind it): raising it would only redraw its whole page.
        if (area->activeSubWindow() == child && child->isVisible() && !child->isMinimized() &&
            sleep::Topmost(*area) == child)
            continue;
        child->show();
        if (child->isMinimized())
            child->showNormal();
        area->setActiveSubWindow(child);
        child->raise();
    }
}

void TabStrip::ReadTabColors(uint32_t colors[4]) const
{
    // The four colours are read from the file at every drawing of a tab, in
    // one look at it.
    static const TextKey *const keysInOrder[4] = {&keys::ActivateChColor, &keys::ActivateBGColor,
                                                  &keys::DeActivateChColor, &keys::DeActivateBGColor};
    static const std::vector<std::string> names = {keysInOrder[0]->name, keysInOrder[1]->name,
                                                   keysInOrder[2]->name, keysInOrder[3]->name};
    const std::vector<std::optional<std::string>> values =
        ReadProfileValues(form_.AppDir() + "config.ini", keysInOrder[0]->section, names);
    for (int i = 0; i < 4; ++i) {
        // A colour that cannot be read falls back to its default instead of
        // failing every repaint.
        std::optional<uint32_t> color = values[i] ? StringToColor(*values[i]) : std::nullopt;
        colors[i] = color ? *color : *StringToColor(keysInOrder[i]->defaultValue);
    }
}

void TabStrip::PaintTab(QPainter &painter, int index, const QRect &rect, bool active,
                        const uint32_t colors[4]) const
{
    const QString text = index >= 0 && index < windows_.Count() ? windows_.At(index).text : QString();
    const QColor brush(QRgb(ColorToRgb(active ? colors[1] : colors[3])));
    const QColor pen(QRgb(ColorToRgb(active ? colors[0] : colors[2])));
    painter.fillRect(rect, brush);
    const QRect textRect = rect.adjusted(0, 0, -10, 0).translated(8, 1);
    painter.setPen(pen);
    const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void TabStrip::MouseDown(Qt::MouseButton button, const QPoint &pos)
{
    if (button == Qt::LeftButton)
        return;
    HitTestTab(pos);
    if (button == Qt::RightButton)
        popup_->popup(control_->mapToGlobal(pos));
    else if (button == Qt::MiddleButton)
        CloseTab(popupTab_);
}

void TabStrip::CloseAll()
{
    windows_.SetAllClosing(-1);
    const int n = windows_.ChildCount();
    // A page that stays keeps its tab; the next ones move up behind it.
    int k = 0;
    for (int i = 0; i < n; ++i)
        if (!CloseTab(k))
            ++k;
}

void TabStrip::CloseAllButPopupTab()
{
    const int n = windows_.ChildCount();
    if (n <= 1)
        return;
    // The tabs before the kept one go from the front, then those after it;
    // a page that stays keeps its tab, and the next ones move up behind it.
    int k = 0;
    for (int i = 0; i <= n - 2; ++i) {
        if (i == popupTab_)
            ++k;
        if (!CloseTab(k))
            ++k;
    }
}

void TabStrip::SelectTabBy(int steps)
{
    const int n = windows_.Count();
    if (n == 0)
        return;
    const int from = std::max(0, windows_.Selected());
    windows_.Choose(((from + steps) % n + n) % n);
}

void TabStrip::SelectTabAt(int index)
{
    const int n = windows_.Count();
    if (n == 0)
        return;
    if (index < 0 || index >= n)
        index = index < 0 ? n - 1 : -1;
    if (index >= 0)
        windows_.Choose(index);
}

void TabStrip::ApplyTabWidth(int width)
{
    control_->SetFixedTabWidth(width);
}

void TabStrip::ApplyTabType(int tabType)
{
    control_->SetButtonStyle(tabType != 0);
}

} // namespace orvex
