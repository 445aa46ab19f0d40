// The main window as the child windows see it (BrowserHost): a small adapter
// that answers for the main window, its window list and its tab bar.
#pragma once

#include "browser/BrowserHost.h"

namespace orvex {

class TMainForm;

class ChildWindowHost final : public BrowserHost {
public:
    explicit ChildWindowHost(TMainForm &form) : form_(form) {}

    QWidget *Window() override;
    PageIndicators &Indicators() override;
    TChildForm *ActiveChild() override;
    ChildState &ChildWinState() override;
    bool Arranging() const override;
    uint8_t MojiSize() const override;
    void CheckMojiSize(int size) override;
    int AllClosing() const override;
    void SetAllClosing(int value) override;
    void SelectTabOfWindow(int32_t number) override;
    void SetTabCaptionOfWindow(int32_t number, const QString &caption) override;
    void RemoveTab(int32_t number) override;
    void AddClosedURL(const QString &address) override;
    void ChildClosed(TChildForm *child) override;
    void NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel) override;
    void PageVisited(const QString &url, const QString &title) override;
    void PageTitled(const QString &url, const QString &title) override;
    bool IsPopupURL(const QString &address) override;

private:
    TMainForm &form_;
};

} // namespace orvex
