// The "Internet Explorer" engine module (iexplore.so) on QtWebEngine.
#pragma once

#include "EngineBase.h"

#include <QPointer>
#include <QWebEnginePage>

class QWebEngineView;

namespace orvex::webengine {

class WebEngineBrowser;

// The page of one control: it keeps dialogs and script errors away and
// passes window and navigation requests to its control.
class WebEnginePage : public QWebEnginePage {
public:
    WebEnginePage(WebEngineBrowser *owner, QObject *parent);
    void Disown() { owner_ = nullptr; }

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override
    {
        return false;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
    }

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

    WebEnginePage *Page() const { return page_; }

protected:
    void Load(const QUrl &url) override;
    void ApplyZoom(qreal factor) override;
    void SaveTo(const QString &path) override;
    void Copy() override;
    void SelectAll() override;
    void ApplyHostOptions(const HostOptions &options) override;
    QString SuggestedSaveName() const override;
    QString SaveFilter() const override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ReportCommandStates();
    void AttachKeyBlocker();

    QPointer<QWebEngineView> view_;
    QPointer<WebEnginePage> page_;
};

} // namespace orvex::webengine
