// A scriptable stand-in for an engine control. It records every operation it
// is asked to perform, lets a test set what it reports (LocationURL, Busy),
// raises any event on its sink on demand and can be told to fail the next
// Navigate or page command. InstallFakeEngines() makes CreateWebBrowser hand out
// fakes instead of loading the engine modules.
#pragma once

#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orvex::test {

class FakeEngine : public WebBrowser2 {
public:
    explicit FakeEngine(QWidget *parent, EngineKind kind = EngineKind::InternetExplorer);
    // While set, the controls made live in an X window of their own, as the
    // "Gecko" view does.
    static inline bool nativeControls = false;
    ~FakeEngine() override;

    // WebBrowser2
    QWidget *Control() override { return widget_; }
    void SetEvents(WebBrowserEvents *sink) override;
    void SetHostOptions(const HostOptions &options) override;
    void Navigate(const QString &url) override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;
    QString LocationURL() const override { return location_; }
    bool Busy() const override { return busy_; }
    QString EngineName() const override;
    void Find(const FindRequest &request) override;
    void Print(const PrintRequest &request) override;
    // Answers on the next turn of the event loop: with a page that asks
    // before it closes (leaveHandler), after a BeforeUnload question to the
    // host; else at once "may close".
    void RequestClose() override;
    void Zoom(int level) override;
    int ZoomLevel() const override { return zoom; }
    // Writes "saved <LocationURL>" to the path and answers on the next turn
    // of the event loop; an empty path stands for a cancelled dialog.
    void SaveTo(const QString &path) override;
    void Copy() override;
    void SelectAll() override;
    void SetZoomFactor(double factor) override;
    double ZoomFactor() const override { return zoomFactor_; }

    void SetLifecycle(PageLifecycle state) override;
    PageLifecycle Lifecycle() const override { return lifecycle_; }
    // Answers with sleepBlockers on the next turn of the event loop.
    void QuerySleepBlockers(std::function<void(uint32_t)> answer) override;

    // What the control was asked to do, one entry per call, e.g.
    // "Navigate(http://x)", "GoBack()", "Zoom(3)", "SetEvents(set)",
    // "SetHostOptions(accel=1,noContext=0,flags=0x4000,dl=0x70)".
    std::vector<std::string> log;
    std::string LastCall() const { return log.empty() ? std::string() : log.back(); }
    bool Called(const std::string &entry) const;  // any entry equal to this
    int CountOf(const std::string &prefix) const; // entries starting with this

    // Values the control reports.
    void SetLocationURL(const QString &url) { location_ = url; }
    void SetBusy(bool busy) { busy_ = busy; }
    // When true (the default), Navigate sets LocationURL to the address it
    // was given, as a real engine does once the page has loaded.
    bool navigateSetsLocation = true;
    // When true, the control keeps a history and reports loads as a real
    // engine does, on the next turn of the event loop: Navigate, GoBack,
    // GoForward and Refresh raise DownloadBegin, the back and forward
    // states, progress 0 and 100, the title (pageTitles, else the address)
    // and DownloadComplete. Off by default: host tests script every event.
    bool simulateLoads = false;
    std::map<QString, QString> pageTitles;
    // Addresses whose simulated load fails (DocumentComplete with ok false).
    std::set<QString> failingPages;
    // The page has a "leave this page?" handler.
    bool leaveHandler = false;
    // What QuerySleepBlockers answers (SleepBlocker bits).
    uint32_t sleepBlockers = 0;
    // The text Find searches; Find answers with the number of matches.
    QString pageText;

    // The next Navigate / page command (Zoom, SaveTo, Copy, SelectAll)
    // throws std::runtime_error with this message (once; empty message = no
    // failure).
    void FailNextNavigate(const std::string &message) { failNavigate_ = message; }
    void FailNextCommand(const std::string &message) { failCommand_ = message; }

    HostOptions hostOptions; // the last options handed over
    bool hostOptionsSet = false;
    int zoom = 2; // the text size (0..4)
    WebBrowserEvents *Sink() const { return sink_; }
    EngineKind Kind() const { return kind_; }

    // Events, delivered to the sink (nothing happens without one).
    void RaiseStatus(const QString &text);
    void RaiseProgress(int progress, int progressMax = 100);
    void RaiseCommandState(int command, bool enable);
    void RaiseTitle(const QString &title);
    // Returns cancel; ppDisp receives what the host handed back.
    bool RaiseNewWindow(WebBrowser2 *&ppDisp);
    bool RaiseBeforeNavigate(const QString &url); // returns cancel
    void RaiseWindowClosing();
    void RaiseDownloadBegin();
    void RaiseDownloadComplete();
    void RaiseDocumentComplete(const QString &url, bool ok);
    void RaiseZoomWheel(int steps);

    // Questions to the host. Each returns the host's answer, or the refusing
    // default when no sink is set.
    bool RaisePageDialog(const PageDialogRequest &request, QString *text = nullptr);
    bool RaiseAuthenticate(const AuthenticationRequest &request, QString &user, QString &password);
    bool RaiseCertificateError(const CertificateErrorInfo &error);
    QStringList RaiseChooseFiles(const FileChooserRequest &request);
    bool RaisePermission(const QUrl &origin, PagePermission permission);
    void RaiseFullScreen(bool fullScreen);
    // Offers the host a transfer of `content`. Once started it writes the
    // first half at once and the rest on the next turn of the event loop,
    // or, with holdHalfway, waits there for Cancel. Without a sink it is
    // refused.
    void RaiseFileDownload(const QUrl &url, const QString &fileName, const QByteArray &content,
                           bool holdHalfway = false);

private:
    void SimulateLoad();
    // Logs a page command and throws when told to fail it.
    void Command(const std::string &entry);

    EngineKind kind_;
    QPointer<QWidget> widget_;
    WebBrowserEvents *sink_ = nullptr;
    QString location_;
    double zoomFactor_ = 1.0;
    bool busy_ = false;
    PageLifecycle lifecycle_ = PageLifecycle::Active;
    std::string failNavigate_;
    std::string failCommand_;
    std::vector<QString> history_;
    int historyIndex_ = -1;
};

// A fake made by the installed factory, with the engine it stands for. The
// pointer is cleared when the fake is destroyed, and the event sink it still
// had then is kept.
struct CreatedFake {
    FakeEngine *engine;
    EngineKind kind;
    QWidget *parent;
    WebBrowserEvents *sinkAtEnd = nullptr;
};

// Makes CreateWebBrowser create fakes and returns the list they are recorded
// in (cleared on each install). Destroyed fakes stay in the list with
// engine == nullptr. RemoveFakeEngines() restores the real modules.
std::vector<CreatedFake> &InstallFakeEngines();
void RemoveFakeEngines();
std::vector<CreatedFake> &CreatedFakes();
// The live fakes of one engine, oldest first.
std::vector<FakeEngine *> LiveFakes(EngineKind kind);
// Run by every fake at each Navigate, after logging it and before returning:
// the events an engine raises while it navigates (a title, for one). Cleared
// by InstallFakeEngines().
std::function<void(FakeEngine &, const QString &url)> &DuringNavigate();
// While set, the installed factory fails the next creation of that engine
// with orvex::Error naming the module, as a missing module does.
void FailNextCreate(EngineKind kind, bool fail = true);

} // namespace orvex::test
