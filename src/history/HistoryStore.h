// The browsing history kept in the data folder: an SQLite database (one
// connection, write-ahead log) on a thread of its own, and the index in
// memory (core/HistoryIndex) that completion and the history panel read.
// Every change reaches the index at once and the database in batches, so
// nothing on the user-interface thread waits for the disk.
#pragma once

#include "core/HistoryIndex.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <deque>
#include <memory>
#include <vector>

class QThread;

namespace orvex {

class HistoryWriter;
struct HistoryOp;

class HistoryStore : public QObject {
    Q_OBJECT
public:
    // Opens (or makes) the database at `path`; the entries arrive a moment
    // later (Loaded). A damaged database is kept aside under a dated name and
    // a new one is started (Damaged).
    explicit HistoryStore(const QString &path, QObject *parent = nullptr);
    // Writes what is pending and closes the database.
    ~HistoryStore() override;

    const QString &Path() const { return path_; }
    bool IsLoaded() const { return loaded_; }
    const HistoryIndex &Index() const { return index_; }

    // Whether an address belongs in the history: web and file pages, not
    // about:, data:, javascript: or our own error pages.
    static bool Recordable(const QString &url);

    // A page a window showed (a load that succeeded), now or at `when`
    // (milliseconds since the epoch).
    void RecordVisit(const QString &url, const QString &title);
    void RecordVisitAt(const QString &url, const QString &title, qint64 when);
    // A title that arrived after its page was recorded.
    void SetTitle(const QString &url, const QString &title);
    void Remove(const QString &url);
    // Removes the entries last visited in [from, to) (milliseconds).
    void RemoveVisitedBetween(qint64 from, qint64 to);

    // Hands every pending change to the database and waits until it is
    // written (tests, the clearing of data, shutdown).
    void Flush();
    // Waits until the entries are loaded.
    void WaitLoaded();

signals:
    void Loaded();
    void Changed();
    // The damaged database was kept as `backupPath`.
    void Damaged(const QString &backupPath);

private:
    struct PendingVisit {
        QString url, title;
        qint64 when;
    };
    void OnLoaded(std::shared_ptr<std::vector<HistoryEntry>> entries);
    void QueueUpsert(const HistoryEntry &entry);
    void SendBatch();

    QString path_;
    HistoryIndex index_;
    bool loaded_ = false;
    std::vector<PendingVisit> early_; // visits before the entries arrived
    QThread *thread_ = nullptr;
    HistoryWriter *writer_ = nullptr;
    QObject *context_ = nullptr; // lives on thread_: the writer's calls run through it
    bool writeFailureTold_ = false;
    // Changes not yet handed to the writer; a deque, so that no change pays
    // for moving the others when it grows.
    std::shared_ptr<std::deque<HistoryOp>> batch_;
    QTimer batchTimer_;
};

} // namespace orvex
