// The "Gecko" engine module (mozctl.so) on QtWebKit.
#pragma once

#include "EngineBase.h"

#include <QPointer>
#include <QWebPage>

class QWebView;

namespace orvex::webkit {

class WebKitBrowser;

// The page of one control: it keeps dialogs and script errors away and
// passes window and navigation requests to its control.
class WebKitPage : public QWebPage {
public:
    WebKitPage(WebKitBrowser *owner, QObject *parent);
    void Disown() { owner_ = nullptr; }

protected:
    QWebPage *createWindow(WebWindowType type) override;
    bool acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                 NavigationType type) override;
    void javaScriptAlert(QWebFrame *, const QString &) override {}
    bool javaScriptConfirm(QWebFrame *, const QString &) override { return false; }
    bool javaScriptPrompt(QWebFrame *, const QString &, const QString &, QString *) override { return false; }
    void javaScriptConsoleMessage(const QString &, int, const QString &) override {}

private:
    WebKitBrowser *owner_;
};

class WebKitBrowser : public engine::BrowserBase {
public:
    explicit WebKitBrowser(QWidget *parent);
    ~WebKitBrowser() override;

    QWidget *Control() override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;
    QString LocationURL() const override;
    QString EngineName() const override;

    WebKitPage *Page() const { return page_; }

protected:
    void Load(const QUrl &url) override;
    void ApplyZoom(qreal factor) override;
    void SaveTo(const QString &path) override;
    void Copy() override;
    void SelectAll() override;
    void ApplyHostOptions(const HostOptions &options) override;
    QString SuggestedSaveName() const override;

private:
    void ReportCommandStates();
    void ReportTitle(const QString &title);

    QPointer<QWebView> view_;
    QPointer<WebKitPage> page_;
};

// The page as HTML text to save: the document as the engine holds it now,
// with its character set declared as UTF-8, the encoding it is written in.
QByteArray HtmlForSaving(const QString &html);

} // namespace orvex::webkit
