// The history in the main window, with fake engines: what is recorded, the
// address box's completion, the panel and the clearing of browsing data.
#include "browser/ChildForm.h"
#include "core/Settings.h"
#include "history/AddressCompleter.h"
#include "history/ClearDataDialog.h"
#include "history/HistoryPanel.h"
#include "history/HistoryStore.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QDateTime>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

class MainHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.Start();
        store().WaitLoaded();
    }
    HistoryStore &store() { return *h.form->History(); }
    QLineEdit *box() { return h.form->Controls().txtAddress; }
    void Type(const QString &text)
    {
        box()->setFocus();
        box()->clear();
        QTest::keyClicks(box(), text);
        h.form->Completer()->Update();
    }

    MainHarness h;
};

TEST_F(MainHistoryTest, PagesShownAreRecordedButNotFailedOrBlankOnesNorWhenTurnedOff)
{
    h.form->OpenNewWindow(h.form->ToolsEngine(), "http://a.example/", QString());
    FakeEngine *engine = h.Engine(0);
    engine->RaiseTitle("エー");
    engine->RaiseDocumentComplete("http://a.example/", true);
    engine->RaiseDocumentComplete("http://failed.example/", false);
    engine->RaiseDocumentComplete("about:blank", true);
    // A title arriving after the load ends still reaches the entry.
    engine->SetLocationURL("http://a.example/");
    engine->RaiseTitle("エー 2");
    ASSERT_NE(store().Index().Find("http://a.example/"), nullptr);
    EXPECT_EQ(store().Index().Find("http://a.example/")->title, "エー 2");
    EXPECT_EQ(store().Index().Size(), 1u);
    // Recording writes nothing to config.ini.
    EXPECT_EQ(h.folder.Read("config.ini").find("Option_Ext"), std::string::npos);

    h.form->Settings().Write(keys::ExtHistory, 0);
    engine->RaiseDocumentComplete("http://b.example/", true);
    EXPECT_EQ(store().Index().Find("http://b.example/"), nullptr);
}

TEST_F(MainHistoryTest, CompletionChoosesRestoresDeletesAndOpens)
{
    h.form->OpenNewWindow(h.form->ToolsEngine(), "http://start.example/", QString());
    for (int i = 0; i < 3; ++i)
        store().RecordVisit("http://news.example/", "ニュース");
    store().RecordVisit("http://nagoya.example/", "名古屋");
    TAddressCompleter *completer = h.form->Completer();

    Type("n");
    ASSERT_TRUE(completer->IsShown());
    ASSERT_EQ(completer->Matches().size(), 2u);
    EXPECT_EQ(completer->Matches()[0].url, "http://news.example/");
    QTest::keyClick(box(), Qt::Key_Down);
    EXPECT_EQ(box()->text(), "http://news.example/");
    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(box(), Qt::Key_Down); // past the last: back to what was typed
    EXPECT_EQ(box()->text(), "n");
    QTest::keyClick(box(), Qt::Key_Up);
    EXPECT_EQ(box()->text(), "http://nagoya.example/");
    // Still typing: the page in front retitling itself leaves the box alone.
    h.Engine(0)->RaiseTitle("retitled");
    EXPECT_EQ(box()->text(), "http://nagoya.example/");
    QTest::keyClick(box(), Qt::Key_Escape);
    EXPECT_EQ(box()->text(), "n");
    EXPECT_FALSE(completer->IsShown());

    Type("n");
    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(box(), Qt::Key_Delete);
    EXPECT_EQ(store().Index().Find("http://news.example/"), nullptr);
    ASSERT_EQ(completer->Matches().size(), 1u);
    EXPECT_EQ(box()->text(), "n");

    QTest::keyClick(box(), Qt::Key_Down);
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_FALSE(completer->IsShown());
    EXPECT_EQ(h.Engine(0)->LastCall(), "Navigate(http://nagoya.example/)");
}

TEST_F(MainHistoryTest, PanelOpensEntriesAndClearingTakesThePeriodFromHistoryAndBothEngines)
{
    h.form->OpenNewWindow(h.form->ToolsEngine(), "http://start.example/", QString());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    store().RecordVisitAt("http://recent.example/", "最近", now - 60 * 1000);
    store().RecordVisitAt("http://old.example/", "前", now - 3 * 24 * 3600 * 1000LL);

    h.form->mnuHistoryClick();
    THistoryPanel *panel = h.form->HistoryPanel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(h.form->Settings().Read(keys::ExtHistoryPanel), 1);
    HistoryModel &model = panel->Model();
    ASSERT_EQ(model.rowCount(), 2); // today and three days ago
    EXPECT_EQ(model.index(0, 0).data().toString(), "今日");
    const QModelIndex recent = model.index(0, 0, model.index(0, 0));
    EXPECT_EQ(recent.data().toString(), "最近");
    emit panel->Tree()->activated(recent);
    EXPECT_EQ(h.Engine(0)->LastCall(), "Navigate(http://recent.example/)");

    std::vector<std::pair<EngineKind, ClearDataRequest>> cleared;
    SetEngineClearerForTesting(
        [&](EngineKind kind, const ClearDataRequest &request) { cleared.emplace_back(kind, request); });
    ClearDataChoice choice;
    choice.cookies = true;
    choice.cache = false;
    choice.period = ClearDataChoice::Period::Hour;
    h.form->ClearBrowsingData(choice);
    SetEngineClearerForTesting(nullptr);
    EXPECT_EQ(store().Index().Find("http://recent.example/"), nullptr);
    EXPECT_NE(store().Index().Find("http://old.example/"), nullptr);
    ASSERT_EQ(cleared.size(), 2u);
    EXPECT_EQ(cleared[0].first, EngineKind::InternetExplorer);
    EXPECT_EQ(cleared[1].first, EngineKind::Gecko);
    EXPECT_EQ(cleared[0].second.kinds, uint32_t(CLEARDATA_COOKIES));
    EXPECT_NEAR(double(cleared[0].second.since), double(now - 3600 * 1000), 60 * 1000.0);
    panel->Refresh();
    EXPECT_EQ(model.rowCount(), 1);
}

} // namespace
