#include "history/HistoryStore.h"

#include "core/Errors.h"
#include "core/FileProblems.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <QVariant>

namespace orvex {

struct HistoryOp {
    enum Kind { Upsert, Remove, RemoveBetween } kind = Upsert;
    HistoryEntry entry; // Upsert: the entry as it now is; Remove: its url
    qint64 from = 0, to = 0;
};

// Owns the database connection; lives on the store's thread. Every call
// comes as a queued functor, so the connection is used by that thread alone.
class HistoryWriter {
public:
    HistoryWriter(QString path, QString connection)
        : path_(std::move(path)), connection_(std::move(connection))
    {
    }

    // The stored entries; `backup` is set when a damaged file was kept aside.
    std::shared_ptr<std::vector<HistoryEntry>> Open(QString &backup)
    {
        auto entries = std::make_shared<std::vector<HistoryEntry>>();
        if (OpenAndRead(*entries))
            return entries;
        entries->clear();
        CloseDatabase();
        backup = KeepAside();
        if (!OpenAndRead(*entries)) {
            // No history this run (the folder cannot be written, say): the
            // index still works in memory.
            CloseDatabase();
        }
        return entries;
    }

    // False when the batch could not be written.
    bool Apply(const std::deque<HistoryOp> &ops)
    {
        if (!open_)
            return ops.empty();
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (!db.transaction())
            return false;
        QSqlQuery upsert(db), remove(db), removeBetween(db);
        bool ok =
            upsert.prepare("INSERT OR REPLACE INTO history(url, title, first_visit, last_visit, visit_count) "
                           "VALUES(?, ?, ?, ?, ?)") &&
            remove.prepare("DELETE FROM history WHERE url = ?") &&
            removeBetween.prepare("DELETE FROM history WHERE last_visit >= ? AND last_visit < ?");
        for (size_t i = 0; ok && i < ops.size(); ++i) {
            const HistoryOp &op = ops[i];
            switch (op.kind) {
            case HistoryOp::Upsert:
                upsert.addBindValue(QString::fromStdString(op.entry.url));
                upsert.addBindValue(QString::fromStdString(op.entry.title));
                upsert.addBindValue(qint64(op.entry.firstVisit));
                upsert.addBindValue(qint64(op.entry.lastVisit));
                upsert.addBindValue(op.entry.visitCount);
                ok = upsert.exec();
                break;
            case HistoryOp::Remove:
                remove.addBindValue(QString::fromStdString(op.entry.url));
                ok = remove.exec();
                break;
            case HistoryOp::RemoveBetween:
                removeBetween.addBindValue(op.from);
                removeBetween.addBindValue(op.to);
                ok = removeBetween.exec();
                break;
            }
        }
        if (!ok) {
            db.rollback();
            return false;
        }
        return db.commit();
    }

    void CloseDatabase()
    {
        if (QSqlDatabase::contains(connection_)) {
            QSqlDatabase::database(connection_, false).close();
            QSqlDatabase::removeDatabase(connection_);
        }
        open_ = false;
    }

private:
    bool OpenAndRead(std::vector<HistoryEntry> &entries)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
            db.setDatabaseName(path_);
            if (!db.open())
                return false;
            QSqlQuery query(db);
            // A file that is not a database opens without complaint; its first
            // statement fails.
            if (!query.exec("PRAGMA quick_check") || !query.next() || query.value(0).toString() != "ok")
                return false;
            if (!query.exec("PRAGMA journal_mode = WAL") || !query.exec("PRAGMA synchronous = NORMAL") ||
                !query.exec("CREATE TABLE IF NOT EXISTS history(url TEXT PRIMARY KEY NOT NULL, "
                            "title TEXT NOT NULL DEFAULT '', first_visit INTEGER NOT NULL, "
                            "last_visit INTEGER NOT NULL, visit_count INTEGER NOT NULL)"))
                return false;
            query.setForwardOnly(true);
            if (!query.exec("SELECT url, title, first_visit, last_visit, visit_count FROM history"))
                return false;
            while (query.next()) {
                HistoryEntry entry;
                entry.url = query.value(0).toString().toStdString();
                entry.title = query.value(1).toString().toStdString();
                entry.firstVisit = query.value(2).toLongLong();
                entry.lastVisit = query.value(3).toLongLong();
                entry.visitCount = query.value(4).toInt();
                entries.push_back(std::move(entry));
            }
        }
        open_ = true;
        return true;
    }

    // Renames the damaged file (and its log) to a dated name beside it.
    QString KeepAside()
    {
        const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
        QString backup;
        for (int n = 1; n < 100; ++n) {
            backup = path_ + "." + stamp + (n == 1 ? QString() : QString("-%1").arg(n)) + ".bak";
            if (!QFile::exists(backup))
                break;
        }
        if (!QFile::rename(path_, backup))
            return QString();
        for (const char *suffix : {"-wal", "-shm"}) {
            if (QFile::exists(path_ + suffix))
                QFile::rename(path_ + suffix, backup + suffix);
        }
        return backup;
    }

    QString path_;
    QString connection_;
    bool open_ = false;
};

HistoryStore::HistoryStore(const QString &path, QObject *parent)
    : QObject(parent), path_(path), batch_(std::make_shared<std::deque<HistoryOp>>())
{
    static std::atomic<int> stores{0};
    const QString connection = QStringLiteral("orvex-history-%1").arg(++stores);
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("history"));
    writer_ = new HistoryWriter(path, connection);
    thread_->start();
    // The thread's own context object runs the functors there.
    auto *context = new QObject;
    context->moveToThread(thread_);
    connect(thread_, &QThread::finished, context, &QObject::deleteLater);
    context_ = context;
    batchTimer_.setSingleShot(true);
    batchTimer_.setInterval(500);
    connect(&batchTimer_, &QTimer::timeout, this, [this] { SendBatch(); });
    HistoryWriter *writer = writer_;
    QMetaObject::invokeMethod(
        context_,
        [this, writer] {
            QString backup;
            auto entries = writer->Open(backup);
            QMetaObject::invokeMethod(
                this,
                [this, entries, backup] {
                    if (!backup.isEmpty())
                        emit Damaged(backup);
                    OnLoaded(entries);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

HistoryStore::~HistoryStore()
{
    if (!loaded_)
        WaitLoaded();
    Flush();
    HistoryWriter *writer = writer_;
    QMetaObject::invokeMethod(
        context_, [writer] { writer->CloseDatabase(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete writer_;
}

bool HistoryStore::Recordable(const QString &url)
{
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == "http" || scheme == "https" || scheme == "file" || scheme == "ftp");
}

void HistoryStore::RecordVisit(const QString &url, const QString &title)
{
    RecordVisitAt(url, title, QDateTime::currentMSecsSinceEpoch());
}

void HistoryStore::RecordVisitAt(const QString &url, const QString &title, qint64 when)
{
    if (!Recordable(url))
        return;
    if (!loaded_) {
        early_.push_back({url, title, when});
        return;
    }
    QueueUpsert(index_.AddVisit(url.toStdString(), title.toStdString(), when));
    emit Changed();
}

void HistoryStore::SetTitle(const QString &url, const QString &title)
{
    if (title.isEmpty())
        return;
    if (!loaded_) {
        for (PendingVisit &visit : early_) {
            if (visit.url == url)
                visit.title = title;
        }
        return;
    }
    const std::string key = url.toStdString();
    const HistoryEntry *entry = index_.Find(key);
    if (!entry || entry->title == title.toStdString())
        return;
    index_.SetTitle(key, title.toStdString());
    QueueUpsert(*index_.Find(key));
    emit Changed();
}

void HistoryStore::Remove(const QString &url)
{
    WaitLoaded();
    if (!index_.Remove(url.toStdString()))
        return;
    HistoryOp op;
    op.kind = HistoryOp::Remove;
    op.entry.url = url.toStdString();
    batch_->push_back(std::move(op));
    if (!batchTimer_.isActive())
        batchTimer_.start();
    emit Changed();
}

void HistoryStore::RemoveVisitedBetween(qint64 from, qint64 to)
{
    WaitLoaded();
    index_.RemoveVisitedBetween(from, to);
    HistoryOp op;
    op.kind = HistoryOp::RemoveBetween;
    op.from = from;
    op.to = to;
    batch_->push_back(std::move(op));
    if (!batchTimer_.isActive())
        batchTimer_.start();
    emit Changed();
}

void HistoryStore::QueueUpsert(const HistoryEntry &entry)
{
    HistoryOp op;
    op.entry = entry;
    batch_->push_back(std::move(op));
    if (!batchTimer_.isActive())
        batchTimer_.start();
}

void HistoryStore::SendBatch()
{
    batchTimer_.stop();
    if (batch_->empty())
        return;
    std::shared_ptr<std::deque<HistoryOp>> batch = std::move(batch_);
    batch_ = std::make_shared<std::deque<HistoryOp>>();
    HistoryWriter *writer = writer_;
    const QString path = path_;
    QMetaObject::invokeMethod(
        context_,
        [this, writer, batch, path] {
            if (!writer->Apply(*batch)) {
                // Told once a run: the history goes on in memory.
                QMetaObject::invokeMethod(
                    this,
                    [this, path] {
                        if (!writeFailureTold_) {
                            writeFailureTold_ = true;
                            ReportFileProblem(FormatMessage(msg::CannotWriteHistory, path.toStdString()));
                        }
                    },
                    Qt::QueuedConnection);
            }
        },
        Qt::QueuedConnection);
}

void HistoryStore::Flush()
{
    SendBatch();
    QMetaObject::invokeMethod(
        context_, [] {}, Qt::BlockingQueuedConnection);
}

void HistoryStore::WaitLoaded()
{
    if (loaded_)
        return;
    // Open was queued first: once the thread has run this, the entries are
    // posted to us.
    QMetaObject::invokeMethod(
        context_, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void HistoryStore::OnLoaded(std::shared_ptr<std::vector<HistoryEntry>> entries)
{
    if (loaded_)
        return;
    for (HistoryEntry &entry : *entries)
        index_.Put(std::move(entry));
    loaded_ = true;
    std::vector<PendingVisit> early = std::move(early_);
    early_.clear();
    for (const PendingVisit &visit : early)
        QueueUpsert(index_.AddVisit(visit.url.toStdString(), visit.title.toStdString(), visit.when));
    emit Loaded();
    emit Changed();
}

} // namespace orvex
