// The tab bar: one tab per child window, tied to it by the window number,
// both kept in the window list. Numbers are compared at full width, so the
// bookkeeping stays exact however many windows a run opens.
#include "shell/Main.h"

#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "core/ColorText.h"
#include "core/LineList.h"
#include "core/ProfileFile.h"
#include "platform/UiServices.h"
#include "shell/Captions.h"
#include "shell/SleepPolicy.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <algorithm>

namespace orvex {

namespace {
constexpr int NoTab = 255;
}

// The tab bar shows the window list: it follows every change of it, and a
// tab the user picks goes to the list, whose choice brings the window forward.
void TMainForm::ConnectTabBar()
{
    connect(&windows_, &WindowRegistry::inserted, TabControl1, Guard([this](int index) {
        TabControl1->InsertTab(index, windows_.At(index).text, windows_.Selected());
    }));
    connect(&windows_, &WindowRegistry::removed, TabControl1,
            Guard([this](int index) { TabControl1->RemoveTab(index, windows_.Selected()); }));
    connect(&windows_, &WindowRegistry::renamed, TabControl1,
            Guard([this](int index) { TabControl1->SetCaption(index, windows_.At(index).text); }));
    connect(&windows_, &WindowRegistry::selected, TabControl1,
            Guard([this](int index) { TabControl1->FollowSelection(index); }));
    connect(TabControl1, &TTabControl::TabChosen, &windows_,
            Guard([this](int index) { windows_.Choose(index); }));
    connect(&windows_, &WindowRegistry::chosen, this, Guard([this] { TabControl1Change(); }));
}

int TMainForm::FindTab(int32_t number) const
{
    return windows_.FindTab(number);
}

void TMainForm::RemoveTab(int32_t number)
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

void TMainForm::HitTestTab(const QPoint &pos)
{
    const int index = TabControl1->tabAt(pos);
    popupTab_ = index < 0 ? NoTab : index;
}

bool TMainForm::CloseTab(int index)
{
    if (index < 0 || index >= windows_.Count())
        return false; // the press named no tab
    const int32_t number = windows_.At(index).number;
    if (TChildForm *child = windows_.At(index).child) {
        windows_.SetTabClosing(true);
        const bool closed = child->CloseWindow();
        windows_.SetTabClosing(false);
        if (!closed)
            return false; // the page stays, and its tab with it
    }
    windows_.Remove(windows_.IndexOf(number));
    return true;
}

void TMainForm::AddCloseURL(int index)
{
    if (index < 0 || index >= windows_.Count())
        return;
    const std::string path = AppDirPath + "CloseURL.txt";
    std::vector<std::string> lines = LoadLineList(path);
    if (TChildForm *child = windows_.At(index).child)
        lines.push_back(FromQ(child->Browser()->LocationURL()));
    SaveLineList(path, lines);
}

void TMainForm::ShowTab(int index)
{
    if (index < 0 || index >= windows_.Count())
        return;
    const int32_t number = windows_.At(index).number;
    ArrangingScope arranging(*this);
    for (TChildForm *child : Children()) {
        if (child->Tag != number)
            continue;
        child->show();
        if (child->isMinimized())
            child->showNormal();
        mdiArea->setActiveSubWindow(child);
        child->raise();
    }
}

void TMainForm::ReadTabColors(uint32_t colors[4]) const
{
    // The four colours are read from the file at every drawing of a tab, in
    // one look at it.
    static const TextKey *const keysInOrder[4] = {&keys::ActivateChColor, &keys::ActivateBGColor,
                                                  &keys::DeActivateChColor, &keys::DeActivateBGColor};
    static const std::vector<std::string> names = {keysInOrder[0]->name, keysInOrder[1]->name,
                                                   keysInOrder[2]->name, keysInOrder[3]->name};
    const std::vector<std::optional<std::string>> values =
        ReadProfileValues(AppDirPath + "config.ini", keysInOrder[0]->section, names);
    for (int i = 0; i < 4; ++i) {
        // A colour that cannot be read falls back to its default instead of
        // failing every repaint.
        std::optional<uint32_t> color = values[i] ? StringToColor(*values[i]) : std::nullopt;
        colors[i] = color ? *color : *StringToColor(keysInOrder[i]->defaultValue);
    }
}

void TMainForm::TabControl1Change()
{
    ShowTab(windows_.Selected());
}

void TMainForm::TabControl1MouseDown(Qt::MouseButton button, const QPoint &pos)
{
    if (button == Qt::LeftButton)
        return;
    HitTestTab(pos);
    if (button == Qt::RightButton)
        TabPopup->popup(TabControl1->mapToGlobal(pos));
    else if (button == Qt::MiddleButton)
        CloseTab(popupTab_);
}

void TMainForm::TabControl1DblClick(const QPoint &pos)
{
    if (TabControl1->tabAt(pos) < 0)
        FileNew1Execute();
}

void TMainForm::SelectTabBy(int steps)
{
    const int n = windows_.Count();
    if (n == 0)
        return;
    const int from = std::max(0, windows_.Selected());
    windows_.Choose(((from + steps) % n + n) % n);
}

void TMainForm::SelectTabAt(int index)
{
    const int n = windows_.Count();
    if (n == 0)
        return;
    if (index < 0 || index >= n)
        index = index < 0 ? n - 1 : -1;
    if (index >= 0)
        windows_.Choose(index);
}

void TMainForm::ReopenClosed()
{
    const std::vector<std::string> &entries = closedList.Entries();
    if (entries != reopenedFrom_)
        reopened_ = 0; // closed since: start again from the newest
    if (reopened_ >= entries.size())
        return;
    reopenedFrom_ = entries;
    ++reopened_;
    OpenNewWindow(ToolsEngine(), ToQ(entries[entries.size() - reopened_]), kLoadingCaption);
}

void TMainForm::FocusAddress()
{
    if (!txtAddress->isVisible())
        return;
    txtAddress->setFocus(Qt::ShortcutFocusReason);
    txtAddress->selectAll();
}

void TMainForm::TabControl1DrawTab(QPainter &painter, int index, const QRect &rect, bool active)
{
    uint32_t colors[4];
    ReadTabColors(colors);
    PaintTab(painter, index, rect, active, colors);
    sleep_->PaleTab(painter, index, rect);
}

void TMainForm::PaintTab(QPainter &painter, int index, const QRect &rect, bool active,
                         const uint32_t colors[4])
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

void TMainForm::popTabCloseClick()
{
    CloseTab(popupTab_);
}

void TMainForm::popAddCloseClick()
{
    AddCloseURL(popupTab_);
    CloseTab(popupTab_);
}

void TMainForm::mnu_AllCloseClick()
{
    windows_.SetAllClosing(-1);
    const int n = ChildCount();
    // A page that stays keeps its tab; the next ones move up behind it.
    int k = 0;
    for (int i = 0; i < n; ++i)
        if (!CloseTab(k))
            ++k;
}

void TMainForm::mnu_AllCloseNotMeClick()
{
    const int n = ChildCount();
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

// A window reaches only its own tab: one whose number has no tab yet (a
// window being made) changes no other window's tab.
void TMainForm::SelectTabOfWindow(int32_t number)
{
    windows_.Select(windows_.IndexOf(number));
}

void TMainForm::SetTabCaptionOfWindow(int32_t number, const QString &caption)
{
    windows_.SetText(windows_.IndexOf(number), caption);
}

} // namespace orvex
