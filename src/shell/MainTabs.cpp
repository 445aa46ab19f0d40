// The main window's handlers of the tab bar and its menu; the bar itself,
// its routines and its drawing are the TabStrip's.
#include "shell/Main.h"

#include "browser/untTab.h"
#include "platform/UiServices.h"
#include "shell/Captions.h"
#include "shell/SleepPolicy.h"
#include "shell/TabStrip.h"

#include <QLineEdit>

namespace orvex {

void TMainForm::TabControl1Change()
{
    tabs_->ShowTab(windows_.Selected());
}

void TMainForm::TabControl1MouseDown(Qt::MouseButton button, const QPoint &pos)
{
    tabs_->MouseDown(button, pos);
}

void TMainForm::TabControl1DblClick(const QPoint &pos)
{
    if (tabs_->Control()->tabAt(pos) < 0)
        FileNew1Execute();
}

void TMainForm::TabControl1DrawTab(QPainter &painter, int index, const QRect &rect, bool active)
{
    uint32_t colors[4];
    tabs_->ReadTabColors(colors);
    tabs_->PaintTab(painter, index, rect, active, colors);
    sleep_->PaleTab(painter, index, rect);
}

void TMainForm::popTabCloseClick()
{
    tabs_->CloseTab(tabs_->PopupTab());
}

void TMainForm::popAddCloseClick()
{
    tabs_->AddCloseURL(tabs_->PopupTab());
    tabs_->CloseTab(tabs_->PopupTab());
}

void TMainForm::mnu_AllCloseClick()
{
    tabs_->CloseAll();
}

void TMainForm::mnu_AllCloseNotMeClick()
{
    tabs_->CloseAllButPopupTab();
}

void TMainForm::ReopenClosed()
{
    const std::vector<std::string> &entries = closedList_.Entries();
    if (entries != reopenedFrom_)
        reopened_ = 0; // closed since: start again from the newest
    if (reopened_ >= entries.size())
        return;
    reopenedFrom_ = entries;
    ++reopened_;
    // Brought back to be seen: to the front, as with Ctrl+T.
    if (OpenNewWindow(ToolsEngine(), ToQ(entries[entries.size() - reopened_]), kLoadingCaption))
        windows_.Choose(windows_.Count() - 1);
}

} // namespace orvex
