// The new-window catcher: a hidden form whose engine control is handed to a
// page that asks for a new window. Its first navigation tells the address
// the page wanted; the catcher passes it on, cancels the load and is released.
#pragma once

#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

namespace orvex {

class Tfrm_tmpWeb : public QWidget, public WebBrowserEvents {
    Q_OBJECT
public:
    using AddressHandler = std::function<void(const QString &address)>;

    // The instance made at start-up holds no engine and takes no part in
    // catching.
    Tfrm_tmpWeb();
    // A catcher with a control of the requesting window's engine. `handler`
    // gets the first address the control is asked to show; `dialogOwner`
    // owns the dialog of a download the catcher turns out to carry.
    Tfrm_tmpWeb(EngineKind kind, AddressHandler handler, QWidget *dialogOwner = nullptr);
    ~Tfrm_tmpWeb() override;

    WebBrowser2 *WebBrowser1() const { return web_.get(); }

    void WebBrowser1BeforeNavigate2(const QString &url, bool &cancel);
    void WebBrowser1NewWindow2(bool &cancel) { cancel = true; }

    // Events of the control.
    void OnStatusTextChange(const QString &) override {}
    void OnProgressChange(int, int) override {}
    void OnCommandStateChange(int, bool) override {}
    void OnTitleChange(const QString &) override {}
    void OnNewWindow2(WebBrowser2 *&, bool &cancel) override { WebBrowser1NewWindow2(cancel); }
    void OnBeforeNavigate2(const QString &url, bool &cancel) override
    {
        WebBrowser1BeforeNavigate2(url, cancel);
    }
    // A pop-up that turns out to be a download (window.open of a file) is
    // saved like any other; every other question of a catcher is refused.
    void OnFileDownload(Download *download) override;

    // Catchers alive right now (tests check that none survives its work).
    static int LiveCount();

private:
    std::unique_ptr<WebBrowser2> web_;
    AddressHandler handler_;
    QPointer<QWidget> dialogOwner_;
    bool handled_ = false;
};

// The instance created at start-up.
extern Tfrm_tmpWeb *frm_tmpWeb;

} // namespace orvex
