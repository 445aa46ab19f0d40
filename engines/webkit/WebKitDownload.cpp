#include "WebKitDownload.h"

#include "Texts.h"

#include <QFile>
#include <QFileInfo>

#include <webkit2/webkit2.h>

namespace orvex::webkit {

DownloadItem::DownloadItem(WebKitDownload *download, const QString &suggestedName)
    : download_(WEBKIT_DOWNLOAD(g_object_ref(download))), suggestedName_(suggestedName)
{
    g_signal_connect(download_, "received-data", G_CALLBACK(OnReceivedData), this);
    g_signal_connect(download_, "failed", G_CALLBACK(OnFailed), this);
    g_signal_connect(download_, "finished", G_CALLBACK(OnFinished), this);
}

DownloadItem::~DownloadItem()
{
    // Deleting a transfer that still runs cancels it.
    events_ = nullptr;
    if (!finished_)
        Cancel();
    g_signal_handlers_disconnect_by_data(download_, this);
    g_object_unref(download_);
}

QUrl DownloadItem::Url() const
{
    return QUrl(QString::fromUtf8(webkit_uri_request_get_uri(webkit_download_get_request(download_))));
}

QString DownloadItem::SuggestedFileName() const
{
    if (!suggestedName_.isEmpty())
        return suggestedName_;
    const QString fromAddress = QFileInfo(Url().path()).fileName();
    return fromAddress.isEmpty() ? QStringLiteral("download") : fromAddress;
}

QString DownloadItem::MimeType() const
{
    WebKitURIResponse *response = webkit_download_get_response(download_);
    return response ? QString::fromUtf8(webkit_uri_response_get_mime_type(response)) : QString();
}

qint64 DownloadItem::TotalBytes() const
{
    WebKitURIResponse *response = webkit_download_get_response(download_);
    const guint64 length = response ? webkit_uri_response_get_content_length(response) : 0;
    return length ? qint64(length) : -1;
}

qint64 DownloadItem::ReceivedBytes() const
{
    return qint64(webkit_download_get_received_data_length(download_));
}

void DownloadItem::Start(const QString &path)
{
    if (finished_ || cancelled_ || !path_.isEmpty())
        return;
    path_ = path;
    // The host chose the name (and asked about replacing a file).
    webkit_download_set_allow_overwrite(download_, TRUE);
    webkit_download_set_destination(download_, QFile::encodeName(path).constData());
}

void DownloadItem::Cancel()
{
    if (finished_ || cancelled_)
        return;
    cancelled_ = true;
    webkit_download_cancel(download_);
    RemovePartialFile();
}

void DownloadItem::RemovePartialFile()
{
    if (path_.isEmpty())
        return;
    // The engine writes to "<path>.wkdownload" until the transfer is complete.
    QFile::remove(path_);
    QFile::remove(path_ + QStringLiteral(".wkdownload"));
}

void DownloadItem::OnReceivedData(WebKitDownload *, guint64, gpointer self)
{
    auto *item = static_cast<DownloadItem *>(self);
    if (item->events_)
        item->events_->OnDownloadProgress(item->ReceivedBytes(), item->TotalBytes());
}

void DownloadItem::OnFailed(WebKitDownload *, GError *error, gpointer self)
{
    auto *item = static_cast<DownloadItem *>(self);
    if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER))
        item->error_ = QString::fromUtf8(engine::texts::kDownloadCancelled);
    else if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_DESTINATION))
        item->error_ = QString::fromUtf8(engine::texts::kDownloadCannotWrite);
    else if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_NETWORK))
        item->error_ = QString::fromUtf8(engine::texts::kDownloadNetwork);
    else // the engine's own message is in English
        item->error_ = QString::fromUtf8(engine::texts::kDownloadFailed);
}

void DownloadItem::OnFinished(WebKitDownload *, gpointer self)
{
    auto *item = static_cast<DownloadItem *>(self);
    item->finished_ = true;
    const bool ok = item->error_.isEmpty() && !item->cancelled_;
    if (!ok) {
        // The engine may still have been writing when the transfer was
        // stopped: nothing of it stays behind.
        item->RemovePartialFile();
        if (item->error_.isEmpty())
            item->error_ = QString::fromUtf8(engine::texts::kDownloadCancelled);
    }
    // The host may delete the transfer in its handler.
    if (DownloadEvents *events = item->events_)
        events->OnDownloadFinished(ok, ok ? QString() : item->error_);
}

} // namespace orvex::webkit
