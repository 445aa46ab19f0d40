// The new-window catcher: a hidden form whose engine control is handed to a
// page that asks for a new window. Its first navigation tells the address
// the page wanted, and the host decides what becomes of the page: a child
// window adopts the control with the page in it (the opener, a form's POST
// and written content stay with it), or, when the page cannot stay in its
// engine, the address opens anew, or nothing opens at all.
#pragma once

#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"

#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>

namespace orvex {

// A page an engine made for a new window, on its way from the catcher to the
// child window that adopts it.
struct CaughtPage {
    EngineKind kind = EngineKind::InternetExplorer;
    std::unique_ptr<WebBrowser2> control;
    QString title; // the last title it reported while caught ("" when none)
    // The page was caught on about:blank: the block list looks at the first
    // address it goes on to.
    bool checkNextAddress = false;
};

class Tfrm_tmpWeb : public QWidget, public WebBrowserEvents {
    Q_OBJECT
public:
    // What becomes of the page, decided at the catcher's first navigation.
    enum class Fate {
        Refuse, // the load is cancelled and nothing opens (block list, tab limit)
        Reopen, // the load is cancelled and the address opens with a new request
        Adopt,  // the page loads on and a child window takes the control
    };
    struct Handlers {
        // Called inside the engine's navigation; may throw (the error is
        // shown once the engine's call has returned, and nothing opens).
        std::function<Fate(const QString &address)> decide;
        std::function<void(const QString &address)> reopen;
        // Takes the control out of `page`; one left in it goes with the catcher.
        std::function<void(CaughtPage &page)> adopt;
    };

    // The instance made at start-up holds no engine and takes no part in
    // catching.
    Tfrm_tmpWeb();
    // A catcher with a control of the requesting window's engine.
    // `dialogOwner` owns the dialog of a download the catcher turns out to
    // carry.
    Tfrm_tmpWeb(EngineKind kind, Handlers handlers, QWidget *dialogOwner = nullptr);
    ~Tfrm_tmpWeb() override;

    WebBrowser2 *WebBrowser1() const { return web_.get(); }

    void WebBrowser1BeforeNavigate2(const QString &url, bool &cancel);
    void WebBrowser1NewWindow2(bool &cancel) { cancel = true; }

    // Events of the control.
    void OnStatusTextChange(const QString &) override {}
    void OnProgressChange(int, int) override {}
    void OnCommandStateChange(int, bool) override {}
    void OnTitleChange(const QString &text) override { title_ = text; }
    void OnNewWindow2(WebBrowser2 *&, bool &cancel) override { WebBrowser1NewWindow2(cancel); }
    void OnBeforeNavigate2(const QString &url, bool &cancel) override;
    // A pop-up that turns out to be a download (window.open of a file) is
    // saved like any other; every other question of a catcher is refused.
    void OnFileDownload(Download *download) override;
    // The opener closed the window before it was adopted: nothing opens.
    void OnWindowClosing() override;

    // Catchers alive right now (tests check that none survives its work).
    static int LiveCount();

private:
    // Runs the decision from the event loop, not from inside the engine's
    // call chain, and releases the catcher.
    void Finish(const QString &url);

    EngineKind kind_ = EngineKind::InternetExplorer;
    std::unique_ptr<WebBrowser2> web_;
    Handlers handlers_;
    QPointer<QWidget> dialogOwner_;
    bool catching_ = false;
    bool handled_ = false;
    bool closed_ = false;
    Fate fate_ = Fate::Refuse;
    std::exception_ptr error_;
    QString title_;
};

// The instance created at start-up.
extern Tfrm_tmpWeb *frm_tmpWeb;

} // namespace orvex
