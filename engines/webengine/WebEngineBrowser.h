// The "Internet Explorer" engine module (iexplore.so) on QtWebEngine.
#pragma once

#include "EngineBase.h"

#include <QPointer>
#include <QWebEnginePage>

class QWebEngineDownloadItem;
class QWebEngineView;

namespace orvex::webengine {

class WebEngineBrowser;

// The page of one control: it passes window and navigation requests, page
// dialogs, file choosers and certificate errors to its control and keeps
// script errors away.
class WebEnginePage : public QWebEnginePage {
public:
    WebEnginePage(WebEngineBrowser *owner, QWebEngineProfile *profile, QObject *parent);
    void Disown() { owner_ = nullptr; }
    WebEngineBrowser *Owner() const { return owner_; }

    // "View page source" shows the page's HTML as it stands instead of
    // loading the address again.
    void triggerAction(WebAction action, bool checked = false) override;

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl &origin, const QString &message) override;
    bool javaScriptConfirm(const QUrl &origin, const QString &message) override;
    bool javaScriptPrompt(const QUrl &origin, const QString &message, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
    }
    bool certificateError(const QWebEngineCertificateError &error) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;

private:
    WebEngineBrowser *owner_;
};

class WebEngineBrowser : public engine::BrowserBase {
public:
    explicit WebEngineBrowser(QWidget *parent);
    ~WebEngineBrowser() override;

    QWidget *Control() override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;
    QString LocationURL() const override;
    QString EngineName() const override;
    void Find(const FindRequest &request) override;
    void Print(const PrintRequest &request) override;
    void SetLifecycle(PageLifecycle state) override;
    void Copy() override;
    void SelectAll() override;

    WebEnginePage *Page() const { return page_; }
    // "Save page" from the page's context menu: asks where, as SaveTo does.
    void SavePageRequested(QWebEngineDownloadItem *item);
    // A save of this page under way: its end is reported as OnSaveFinished.
    void WatchSave(QWebEngineDownloadItem *item);
    // The page's HTML, as text, in a new window the host gives.
    void ShowSource();

protected:
    void Load(const QUrl &url) override;
    void ApplyZoom(qreal textFactor, qreal pageFactor) override;
    void WritePage(const QString &path) override;
    void AskToClose() override;
    void ApplyHostOptions(const HostOptions &options) override;
    QString SuggestedSaveName() const override;
    QString SaveFilter() const override;
    void LookForSleepBlockers(std::function<void(uint32_t)> answer) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ConnectPage();
    void OnLoadFinished(bool ok);
    void ReportCommandStates();
    void AttachKeyBlocker();
    void Authenticate(const QUrl &url, QAuthenticator *authenticator, const QString &proxyHost);
    void AskFeature(const QUrl &origin, QWebEnginePage::Feature feature);
    void OnFullScreenRequest(QWebEngineFullScreenRequest request);
    void OnRenderProcessEnded(QWebEnginePage::RenderProcessTerminationStatus status);
    // Tells the memory watch the page's process when it changed.
    void WatchProcess();

    QPointer<QWebEngineView> view_;
    // The same view as a plain object, for the event filter: the view sends
    // events while it is destroyed, when it is no QWebEngineView any more.
    QPointer<QObject> viewObject_;
    QPointer<WebEnginePage> page_;
    QString findText_; // the text of the last Find, named in its answer
    bool findMatchCase_ = false;
    bool printing_ = false;
    bool printMadeFile_ = false; // the PDF being printed is a new file
    bool fullScreen_ = false;
    qint64 renderPid_ = 0;    // the page's process, also after it ended
    qint64 watchedPid_ = 0;   // the process the memory watch looks at
    bool titleStale_ = false; // the caption shows the crash page's title
    int wheelRest_ = 0;       // Ctrl+wheel turning short of a notch
};

} // namespace orvex::webengine
