// The history database: visits kept across runs (also those recorded before
// the entries were loaded), removals written, a damaged file kept aside.
#include "history/HistoryStore.h"
#include "support/QtApp.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace orvex;

namespace {

constexpr qint64 kDay = 24LL * 60 * 60 * 1000;
constexpr qint64 kNow = 1'800'000'000'000LL;

QString DbPath(const test::TempFolder &folder)
{
    return QString::fromStdString(folder.File("history.sqlite"));
}

TEST(HistoryStore, VisitsTitlesAndRemovalsSurviveTheNextRun)
{
    test::EnsureQApp();
    test::TempFolder folder;
    {
        HistoryStore store(DbPath(folder));
        // Before the entries arrive: kept and counted once they do.
        store.RecordVisitAt("https://a.example/", "", kNow - 2 * kDay);
        store.SetTitle("https://a.example/", "エー");
        store.RecordVisitAt("about:blank", "blank", kNow);
        store.WaitLoaded();
        store.RecordVisitAt("https://a.example/", "", kNow - kDay);
        store.RecordVisitAt("https://b.example/", "B", kNow - 3 * kDay);
        store.RecordVisitAt("https://c.example/", "C", kNow);
        store.Remove("https://b.example/");
        store.RemoveVisitedBetween(kNow - 1000, kNow + 1000);
    }
    HistoryStore store(DbPath(folder));
    store.WaitLoaded();
    ASSERT_EQ(store.Index().Size(), 1u);
    const HistoryEntry *a = store.Index().Find("https://a.example/");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->title, "エー");
    EXPECT_EQ(a->visitCount, 2);
    EXPECT_EQ(a->firstVisit, kNow - 2 * kDay);
    EXPECT_EQ(a->lastVisit, kNow - kDay);
}

TEST(HistoryStore, ADamagedDatabaseIsKeptAsideAndANewOneStarts)
{
    test::EnsureQApp();
    test::TempFolder folder;
    const QByteArray junk(8192, 'x');
    {
        QFile file(DbPath(folder));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(junk);
    }
    QString backup;
    {
        HistoryStore store(DbPath(folder));
        QObject::connect(&store, &HistoryStore::Damaged, [&](const QString &path) { backup = path; });
        store.WaitLoaded();
        ASSERT_FALSE(backup.isEmpty());
        EXPECT_TRUE(backup.startsWith(DbPath(folder) + ".")) << backup.toStdString();
        store.RecordVisitAt("https://kept.example/", "kept", kNow);
    }
    QFile kept(backup);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), junk);
    HistoryStore store(DbPath(folder));
    store.WaitLoaded();
    EXPECT_NE(store.Index().Find("https://kept.example/"), nullptr);
}

} // namespace
