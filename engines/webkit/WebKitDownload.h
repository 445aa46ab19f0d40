// One file transfer of the WebKitGTK engine, handed to the host.
#pragma once

#include "browser/WebBrowser.h"

#include <glib.h>

typedef struct _WebKitDownload WebKitDownload;

namespace orvex::webkit {

class DownloadItem : public Download {
public:
    DownloadItem(WebKitDownload *download, const QString &suggestedName);
    ~DownloadItem() override;

    QUrl Url() const override;
    QString SuggestedFileName() const override;
    QString MimeType() const override;
    qint64 TotalBytes() const override;
    qint64 ReceivedBytes() const override;
    void SetEvents(DownloadEvents *events) override { events_ = events; }
    void Start(const QString &path) override;
    void Cancel() override;

private:
    static void OnReceivedData(WebKitDownload *, guint64, gpointer self);
    static void OnFailed(WebKitDownload *, GError *error, gpointer self);
    static void OnFinished(WebKitDownload *, gpointer self);
    void RemovePartialFile();

    WebKitDownload *download_;
    QString suggestedName_;
    QString path_;
    DownloadEvents *events_ = nullptr;
    bool finished_ = false;
    bool cancelled_ = false;
    QString error_;
};

} // namespace orvex::webkit
