// The browser child window: one page in one engine inside the main window's
// MDI area. Tfrm_IE and Tfrm_MZ are twins; what they share stands here, and
// each names its differences (progress arithmetic, stop button, text size,
// the order of the first resize).
#pragma once

#include "browser/BrowserHost.h"
#include "browser/WebBrowser.h"

#include <QMdiSubWindow>
#include <cstdint>

namespace orvex {

class TChildForm : public QMdiSubWindow, public WebBrowserEvents {
    Q_OBJECT
public:
    ~TChildForm() override;

    int32_t Tag = 0; // the window number, key of the window's tab
    bool BackState = false;
    bool FrwrdState = false;
    bool StopState = false;
    bool ReLoadState = false;
    bool IsOpen = false;
    int ProgressPos = 0;

    virtual EngineKind Kind() const = 0;
    WebBrowser2 *Browser() const { return browser_; }

    // Runs the window's close handling and closes it (same as its close box).
    void CloseWindow() { close(); }
    // Destroys the window without its close handling (main window shutdown).
    void Discard();

    void SubChange(bool active);
    // Gives the window the state new windows take. Called at creation, where
    // a window not yet in the MDI area is left as it is, and again once the
    // window sits in the area, where the state takes effect.
    void ApplyChildWinState();
    // Puts the new window into the MDI area, shows it in the state new
    // windows take and makes it the active one. `behind`: the window goes
    // behind a maximised window, which the area restores it from in the end
    // whatever its state; it is shown normal from the start.
    void Place(QMdiArea *area, int number, bool behind = false);
    virtual void FormActivate() = 0;
    virtual void FormResize() = 0;

    // Engine events.
    void OnStatusTextChange(const QString &text) override;
    void OnTitleChange(const QString &text) override;
    void OnCommandStateChange(int command, bool enable) override;
    void OnNewWindow2(WebBrowser2 *&ppDisp, bool &cancel) override;
    void OnBeforeNavigate2(const QString &url, bool &cancel) override;

protected:
    TChildForm(BrowserHost &host, QWidget *parent);
    // Puts the engine control into the window.
    void AttachBrowser(WebBrowser2 *browser);
    // The common steps of activation before and after the engine-specific ones.
    void ActivateIndicators();
    void FormClose();
    // The creation steps both engines share: state, saved button states,
    // open flag and the first resize.
    void FormCreate();
    // Only the window in front records its state for new windows: a window
    // the MDI area restores because another one was maximised in front of
    // it must not turn maximised windows off for every later page.
    bool RecordsWindowState();

    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

    BrowserHost &host_;
    WebBrowser2 *browser_ = nullptr;
    bool discarding_ = false;
    bool placed_ = false; // the area's own resizes while placing are not the user's
};

} // namespace orvex
