// File transfers of the module: each of QtWebEngine's download requests goes
// to the control whose page started it, as a contract Download.
#pragma once

#include "browser/WebBrowser.h"

#include <QObject>
#include <QPointer>

class QWebEngineDownloadItem;

namespace orvex::webengine {

// The profile's downloadRequested: a page saved by SaveTo goes on as it was
// set up, "save page" from the context menu asks where, and every other
// request is handed to the host of the page that started it, or refused when
// there is none. A request the host leaves undecided is refused.
void RouteDownload(QWebEngineDownloadItem *item);

class WebEngineDownload : public QObject, public Download {
public:
    explicit WebEngineDownload(QWebEngineDownloadItem *item);
    ~WebEngineDownload() override;

    QUrl Url() const override { return url_; }
    QString SuggestedFileName() const override { return suggestedName_; }
    QString MimeType() const override { return mimeType_; }
    qint64 TotalBytes() const override { return total_; }
    qint64 ReceivedBytes() const override { return received_; }
    void SetEvents(DownloadEvents *events) override { events_ = events; }
    void Start(const QString &path) override;
    void Cancel() override;

private:
    void OnProgress(qint64 received, qint64 total);
    void OnFinished();
    void Report(bool ok, const QString &error);
    void RemovePartialFile();

    QPointer<QWebEngineDownloadItem> item_;
    DownloadEvents *events_ = nullptr;
    QUrl url_;
    QString suggestedName_;
    QString mimeType_;
    qint64 total_ = -1;
    qint64 received_ = 0;
    QString path_; // where the transfer writes, once started
    bool reported_ = false;
    bool cancelRequested_ = false;
};

} // namespace orvex::webengine
