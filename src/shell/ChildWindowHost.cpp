#include "shell/ChildWindowHost.h"

#include "platform/UiServices.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"

namespace orvex {

QWidget *ChildWindowHost::Window()
{
    return &form_;
}

PageIndicators &ChildWindowHost::Indicators()
{
    return form_.indicators_;
}

TChildForm *ChildWindowHost::ActiveChild()
{
    return form_.ActiveChild();
}

ChildState &ChildWindowHost::ChildWinState()
{
    return form_.childWinState_;
}

bool ChildWindowHost::Arranging() const
{
    return form_.arranging_ > 0;
}

uint8_t ChildWindowHost::MojiSize() const
{
    return form_.mojiSize_;
}

void ChildWindowHost::CheckMojiSize(int size)
{
    form_.CheckMojiSize(size);
}

int ChildWindowHost::AllClosing() const
{
    return form_.windows_.AllClosing();
}

void ChildWindowHost::SetAllClosing(int value)
{
    form_.windows_.SetAllClosing(value);
}

// A window reaches only its own tab: one whose number has no tab yet (a
// window being made) changes no other window's tab.
void ChildWindowHost::SelectTabOfWindow(int32_t number)
{
    form_.windows_.Select(form_.windows_.IndexOf(number));
}

void ChildWindowHost::SetTabCaptionOfWindow(int32_t number, const QString &caption)
{
    form_.windows_.SetText(form_.windows_.IndexOf(number), caption);
}

void ChildWindowHost::RemoveTab(int32_t number)
{
    form_.tabs_->RemoveTab(number);
}

void ChildWindowHost::AddClosedURL(const QString &address)
{
    form_.closedList_.Append(FromQ(address));
}

void ChildWindowHost::ChildClosed(TChildForm *child)
{
    form_.ChildClosed(child);
}

void ChildWindowHost::NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel)
{
    form_.NewWindowRequested(requester, ppDisp, cancel);
}

void ChildWindowHost::PageVisited(const QString &url, const QString &title)
{
    form_.PageVisited(url, title);
}

void ChildWindowHost::PageTitled(const QString &url, const QString &title)
{
    form_.PageTitled(url, title);
}

bool ChildWindowHost::IsPopupURL(const QString &address)
{
    return form_.IsPopupURL(address);
}

} // namespace orvex
