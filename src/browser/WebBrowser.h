// The engine contract: what Orvex asks of a browser engine and what the
// engine reports back. Both engines are loadable modules (iexplore.so on
// QtWebEngine, mozctl.so on QtWebKit) that export one factory function; the
// program itself links neither engine. Nothing engine-specific crosses this
// interface: plain Qt value types in and out, one widget to embed.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>

class QWidget;

namespace orvex {

// ExecWB command identifiers and execution options (the published values).
enum OLECMDID : int {
    OLECMDID_SAVEAS = 4,
    OLECMDID_COPY = 12,
    OLECMDID_SELECTALL = 17,
    OLECMDID_ZOOM = 19,
};

enum OLECMDEXECOPT : int {
    OLECMDEXECOPT_DODEFAULT = 0,
    OLECMDEXECOPT_PROMPTUSER = 1,
    OLECMDEXECOPT_DONTPROMPTUSER = 2,
    OLECMDEXECOPT_SHOWHELP = 3,
};

// OnCommandStateChange command values.
enum CommandStateId : int {
    CSC_NAVIGATEFORWARD = 1,
    CSC_NAVIGATEBACK = 2,
};

class WebBrowser2;

// The event sink. Every event arrives on the user-interface thread.
class WebBrowserEvents {
public:
    virtual ~WebBrowserEvents() = default;
    virtual void OnStatusTextChange(const QString &text) = 0;
    virtual void OnProgressChange(int progress, int progressMax) = 0;
    virtual void OnCommandStateChange(int command, bool enable) = 0;
    virtual void OnTitleChange(const QString &text) = 0;
    // A page asks for a new window. The host may set ppDisp to the automation
    // object of a control of the same engine (a catcher); the engine then
    // loads the requested page there. Leaving it null, or Cancel = true,
    // refuses the window.
    virtual void OnNewWindow2(WebBrowser2 *&ppDisp, bool &cancel) = 0;
    // A navigation is about to begin in this control. Cancel = true stops it
    // before any request is sent.
    virtual void OnBeforeNavigate2(const QString &url, bool &cancel) = 0;
};

// Host options of the IE control (see UIWebBrowser.h); engines apply what
// they have a counterpart for.
struct HostOptions {
    bool enableAccelerator = true;   // false: Ctrl/Alt keys never reach the page
    bool noContext = false;          // true: no context menu
    uint32_t hostFlags = 0x4000;     // DOCHOSTUIFLAG_* bits
    uint32_t downloadControl = 0x70; // DLCTL_* bits
};

// One engine control: IWebBrowser2 in the Windows design. It is also the
// automation object handed to another control as the target of a new window.
class WebBrowser2 {
public:
    virtual ~WebBrowser2() = default;

    virtual QWidget *Control() = 0; // the widget to place in a window
    virtual void SetEvents(WebBrowserEvents *sink) = 0;
    virtual void SetHostOptions(const HostOptions &options) = 0;

    // Operations. A failure throws std::runtime_error with the message.
    virtual void Navigate(const QString &url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh() = 0;
    virtual void Stop() = 0;
    virtual void ExecWB(int cmdID, int cmdexecopt, const QVariant &in = QVariant(),
                        QVariant *out = nullptr) = 0;
    virtual QString LocationURL() const = 0;
    virtual bool Busy() const = 0;

    // The engine's name and version ("QtWebEngine", "5.15.13").
    virtual QString EngineName() const = 0;
};

// The one function each engine module exports.
extern "C" {
typedef WebBrowser2 *(*CreateWebBrowserFn)(QWidget *parent);
}
inline constexpr const char *CreateWebBrowserSymbol = "OrvexCreateWebBrowser";

} // namespace orvex
