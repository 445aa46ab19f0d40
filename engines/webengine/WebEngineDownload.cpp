#include "WebEngineDownload.h"

#include "EngineTexts.h"
#include "WebEngineBrowser.h"

#include <QFile>
#include <QFileInfo>
#include <QWebEngineDownloadItem>

namespace orvex::webengine {

namespace {

// The engine's reason for an interrupted transfer, in Japanese (its own
// string is English).
QString InterruptText(QWebEngineDownloadItem::DownloadInterruptReason reason)
{
    using Item = QWebEngineDownloadItem;
    const char *text = engine::texts::kDownloadFailed;
    switch (reason) {
    case Item::FileNoSpace:
        text = engine::texts::kDownloadNoSpace;
        break;
    case Item::FileNameTooLong:
        text = engine::texts::kDownloadNameTooLong;
        break;
    case Item::FileAccessDenied:
        text = engine::texts::kDownloadAccessDenied;
        break;
    case Item::FileTooLarge:
        text = engine::texts::kDownloadTooLarge;
        break;
    case Item::FileFailed:
    case Item::FileTransientError:
    case Item::FileVirusInfected:
    case Item::FileBlocked:
    case Item::FileSecurityCheckFailed:
    case Item::FileTooShort:
    case Item::FileHashMismatch:
        text = engine::texts::kDownloadCannotWrite;
        break;
    case Item::NetworkFailed:
    case Item::NetworkTimeout:
    case Item::NetworkDisconnected:
    case Item::NetworkServerDown:
    case Item::NetworkInvalidRequest:
        text = engine::texts::kDownloadNetwork;
        break;
    case Item::ServerFailed:
    case Item::ServerBadContent:
    case Item::ServerUnauthorized:
    case Item::ServerCertProblem:
    case Item::ServerForbidden:
    case Item::ServerUnreachable:
        text = engine::texts::kDownloadServer;
        break;
    case Item::UserCanceled:
        text = engine::texts::kDownloadCancelled;
        break;
    default:
        break;
    }
    return QString::fromUtf8(text);
}

} // namespace

void RouteDownload(QWebEngineDownloadItem *item)
{
    auto *page = dynamic_cast<WebEnginePage *>(item->page());
    WebEngineBrowser *owner = page ? page->Owner() : nullptr;
    if (item->isSavePageDownload()) {
        // SaveTo (page->save) comes already accepted with its path and format.
        if (item->state() != QWebEngineDownloadItem::DownloadRequested) {
            if (owner)
                owner->WatchSave(item);
            return;
        }
        if (owner)
            owner->SavePageRequested(item);
        else
            item->cancel();
        return;
    }
    if (!owner) {
        item->cancel();
        return;
    }
    QPointer<QWebEngineDownloadItem> guard(item);
    owner->HandOverDownload(new WebEngineDownload(item));
    // QtWebEngine drops a request nobody decided on; say so to the transfer.
    if (guard && guard->state() == QWebEngineDownloadItem::DownloadRequested)
        guard->cancel();
}

WebEngineDownload::WebEngineDownload(QWebEngineDownloadItem *item)
    : item_(item), url_(item->url()), suggestedName_(item->suggestedFileName()), mimeType_(item->mimeType()),
      total_(item->totalBytes() > 0 ? item->totalBytes() : -1), received_(item->receivedBytes())
{
    connect(item, &QWebEngineDownloadItem::downloadProgress, this, &WebEngineDownload::OnProgress);
    connect(item, &QWebEngineDownloadItem::finished, this, &WebEngineDownload::OnFinished);
    // An interrupted transfer is not finished (it could be resumed) and
    // says so only through its state: it ends here as a failure.
    connect(item, &QWebEngineDownloadItem::stateChanged, this,
            [this](QWebEngineDownloadItem::DownloadState state) {
                if (state == QWebEngineDownloadItem::DownloadInterrupted)
                    OnFinished();
            });
    // An item that goes away unfinished (refused before it started) ends
    // the transfer too.
    connect(item, &QObject::destroyed, this, [this] {
        if (!reported_)
            Report(false, QString::fromUtf8(engine::texts::kDownloadCancelled));
    });
}

WebEngineDownload::~WebEngineDownload()
{
    events_ = nullptr;
    if (QWebEngineDownloadItem *item = item_) {
        disconnect(item, nullptr, this, nullptr);
        if (!item->isFinished()) {
            item->cancel();
            RemovePartialFile();
        }
        item->deleteLater();
    }
}

void WebEngineDownload::Start(const QString &path)
{
    QWebEngineDownloadItem *item = item_;
    if (!item || item->state() != QWebEngineDownloadItem::DownloadRequested) {
        if (!reported_)
            Report(false, QString::fromUtf8(engine::texts::kDownloadFailed));
        return;
    }
    const QFileInfo target(path);
    path_ = target.absoluteFilePath();
    item->setDownloadDirectory(target.absolutePath());
    item->setDownloadFileName(target.fileName());
    item->accept();
}

void WebEngineDownload::Cancel()
{
    cancelRequested_ = true;
    if (QWebEngineDownloadItem *item = item_) {
        if (!item->isFinished())
            item->cancel(); // finished() follows and reports
    }
    RemovePartialFile();
    if (!reported_ && !item_)
        Report(false, QString::fromUtf8(engine::texts::kDownloadCancelled));
}

void WebEngineDownload::OnProgress(qint64 received, qint64 total)
{
    received_ = received;
    if (total > 0)
        total_ = total;
    if (events_)
        events_->OnDownloadProgress(received_, total_);
}

void WebEngineDownload::OnFinished()
{
    QWebEngineDownloadItem *item = item_;
    if (!item || reported_)
        return;
    received_ = item->receivedBytes();
    switch (item->state()) {
    case QWebEngineDownloadItem::DownloadCompleted:
        Report(true, QString());
        break;
    case QWebEngineDownloadItem::DownloadCancelled:
        RemovePartialFile();
        // Cancelled by nobody here: the engine could not make the folder.
        if (!cancelRequested_ && !path_.isEmpty())
            Report(
                false,
                QString::fromUtf8(engine::texts::kDownloadCannotSave).arg(QFileInfo(path_).absolutePath()));
        else
            Report(false, QString::fromUtf8(engine::texts::kDownloadCancelled));
        break;
    default: {
        // An interrupted transfer could be resumed, but nothing here offers
        // that: leave nothing behind.
        const QString reason = InterruptText(item->interruptReason());
        disconnect(item, nullptr, this, nullptr);
        item->cancel();
        RemovePartialFile();
        Report(false, reason);
        break;
    }
    }
}

void WebEngineDownload::Report(bool ok, const QString &error)
{
    reported_ = true;
    // The host may delete this transfer in its handler: nothing after it.
    if (DownloadEvents *events = events_)
        events->OnDownloadFinished(ok, error);
}

void WebEngineDownload::RemovePartialFile()
{
    if (path_.isEmpty())
        return;
    // The engine may write to an intermediate name until the transfer is
    // complete.
    QFile::remove(path_ + QStringLiteral(".download"));
    QFile::remove(path_ + QStringLiteral(".crdownload"));
    QFile::remove(path_);
}

} // namespace orvex::webengine
