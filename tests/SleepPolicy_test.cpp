// Sleeping windows: the decisions on plain data, then the policy in a main
// window with fake engines and its own clock and memory reading.
#include "shell/SleepPolicy.h"

#include "browser/ChildForm.h"
#include "core/Settings.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;
using sleep::Decide;
using sleep::Step;
using sleep::Window;

namespace {

constexpr int64_t kMinute = 60 * 1000;

sleep::Limits TestLimits()
{
    sleep::Limits limits;
    limits.freezeAfterMs = kMinute;
    limits.discardAfterMs = 10 * kMinute;
    limits.memoryBudget = 1000;
    return limits;
}

Window Away(int32_t number, int64_t since, PageLifecycle state = PageLifecycle::Active)
{
    Window w;
    w.number = number;
    w.seen = false;
    w.outOfSightSince = since;
    w.lifecycle = state;
    w.maySleep = w.mayFreeze = true;
    return w;
}

std::string Describe(const std::vector<Step> &steps)
{
    static const char *const names[] = {"wake", "freeze", "discard"};
    std::string text;
    for (const Step &s : steps)
        text += std::to_string(s.number) + ":" + names[int(s.to)] + " ";
    return text;
}

TEST(SleepDecisions, FreezeThenDiscardByTimeAndWakeWhenSeen)
{
    Window seen = Away(0, 0, PageLifecycle::Discarded);
    seen.seen = true;
    Window kept = Away(5, 0);
    kept.maySleep = false;
    Window refused = Away(6, 20 * kMinute); // its engine cannot freeze
    refused.mayFreeze = false;
    const std::vector<Window> windows{seen,
                                      Away(1, 25 * kMinute),
                                      Away(2, 28 * kMinute + kMinute / 2),
                                      Away(3, 20 * kMinute, PageLifecycle::Frozen),
                                      Away(4, 0, PageLifecycle::Discarded),
                                      kept,
                                      refused};
    EXPECT_EQ(Describe(Decide(windows, 29 * kMinute, 0, TestLimits())), "0:wake 1:freeze ")
        << "2 is not away long enough, 3 is frozen and not yet due, 4 already sleeps, 5 is kept";
    EXPECT_EQ(Describe(Decide(windows, 30 * kMinute, 0, TestLimits())),
              "0:wake 1:freeze 2:freeze 3:discard 6:discard ");

    sleep::Limits off = TestLimits();
    off.enabled = false;
    EXPECT_EQ(Describe(Decide(windows, 90 * kMinute, 5000, off)), "0:wake ") << "off: sleepers still wake";
}

TEST(SleepDecisions, OverTheBudgetTheWindowAwayLongestGoesFirst)
{
    const std::vector<Window> windows{Away(1, 9 * kMinute), Away(2, 2 * kMinute, PageLifecycle::Frozen),
                                      Away(3, 0, PageLifecycle::Discarded), Away(4, 5 * kMinute)};
    EXPECT_EQ(Describe(Decide(windows, 9 * kMinute + 1, 999, TestLimits())), "4:freeze ");
    EXPECT_EQ(Describe(Decide(windows, 9 * kMinute + 1, 1001, TestLimits())), "4:freeze 2:discard ")
        << "3 is already discarded; 2 went out of sight before 4 and 1";
    EXPECT_EQ(Describe(Decide(windows, 10 * kMinute + 1, 1001, TestLimits())),
              "1:freeze 4:freeze 2:discard ");
}

TEST(SleepDecisions, TheMemoryIsReadFullyOnlyWhenItMayHaveChanged)
{
    sleep::MemoryGauge gauge;
    sleep::Residents residents{{10, 11}, 500 << 20};
    int64_t now = 0, full = 0;
    int fullReads = 0;
    gauge.residents = [&] { return residents; };
    gauge.proportional = [&](const std::vector<int> &processes) {
        EXPECT_EQ(processes, residents.processes) << "the processes just counted";
        return ++fullReads, full;
    };
    gauge.clock = [&] { return now; };
    constexpr int64_t MB = 1 << 20;

    full = 300 * MB;
    EXPECT_EQ(gauge.Read(), 300 * MB);
    residents.bytes += 20 * MB; // the same processes, a little more memory
    now += 10000;
    EXPECT_EQ(gauge.Read(), 320 * MB);
    EXPECT_EQ(fullReads, 1);

    full = 400 * MB;
    residents.bytes += 20 * MB; // 40 MB since the full reading
    EXPECT_EQ(gauge.Read(), 400 * MB);
    residents.processes = {10, 12}; // one ended, another began
    full = 380 * MB;
    EXPECT_EQ(gauge.Read(), 380 * MB);
    now += sleep::MemoryGauge::kMaxAgeMs;
    full = 390 * MB;
    EXPECT_EQ(gauge.Read(), 390 * MB);
    EXPECT_EQ(fullReads, 4);
}

TEST(SleepDecisions, WindowsShowWhereNothingInFrontCoversThem)
{
    const QRect area(0, 0, 800, 600);
    const std::vector<bool> seen = sleep::SeenWindows(
        area, {{QRect(0, 0, 400, 600), true, {}},   // front
               {QRect(0, 0, 300, 300), true, {}},   // under the front one
               {QRect(350, 0, 200, 100), true, {}}, // partly beside it
               {QRect(0, 0, 800, 600), false, {}},  // minimised
               {QRect(900, 0, 100, 100), true, {}}, // outside the area
               {QRect(0, 0, 800, 600), true, {}}}); // behind the others, its right part shows
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false, false, true}));
    EXPECT_EQ(sleep::SeenWindows(area, {{area, true, {}}, {QRect(10, 10, 100, 100), true, {}}}),
              (std::vector<bool>{true, false}))
        << "behind a maximised window";
}

TEST(SleepDecisions, APageShowsWhereNoFrameInFrontCoversIt)
{
    const QRect area(0, 0, 800, 600);
    const auto window = [](int x, int y) {
        return sleep::Placement{QRect(x, y, 400, 300), true, QRect(x + 4, y + 24, 392, 272)};
    };
    // Two windows side by side cover together the page of the one behind
    // them, whose title bar still shows; of the next window a corner of its
    // page shows, of the last one its top.
    EXPECT_EQ(sleep::SeenPages(area, {window(0, 100),
                                      window(300, 100),
                                      window(150, 76),
                                      window(130, 56),
                                      window(100, 0),
                                      {QRect(0, 0, 800, 600), false, area}}),
              (std::vector<bool>{true, true, false, true, true, false}));
}

class SleepingWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.Start();
        for (int i = 0; i < 3; ++i)
            h.form->FileNew1Execute();
        h.Pump();
        for (int i = 0; i < 3; ++i)
            engine(i)->RaiseDocumentComplete(QStringLiteral("about:blank"), true);
        policy().clock = [this] { return now; };
        policy().memory = [this] { return memory; };
        policy().inBackground = [](const std::function<void()> &job) { job(); };
        for (int i = 0; i < 3; ++i)
            h.form->Controls().mdiArea->setActiveSubWindow(h.Child(i));
        // Window 0 goes out of sight: minimised.
        h.Child(0)->showMinimized();
        h.form->Controls().mdiArea->setActiveSubWindow(h.Child(2));
        h.Pump();
    }
    SleepPolicy &policy() { return h.form->Sleep(); }
    FakeEngine *engine(int i) { return h.EngineOf(h.Child(i)); }
    void RoundAt(int64_t time)
    {
        now = time;
        policy().Round();
        h.Pump();
    }

    MainHarness h;
    int64_t now = 0;
    int64_t memory = 0;
};

TEST_F(SleepingWindows, AWindowOutOfSightFreezesAndWakesWhenActivated)
{
    // Not before the page has loaded once: it would wait out of sight unloaded.
    h.form->FileNew1Execute();
    h.Child(3)->showMinimized();
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(2));
    RoundAt(0);
    RoundAt(119 * 1000);
    EXPECT_EQ(engine(0)->CountOf("SetLifecycle"), 0);
    RoundAt(120 * 1000);
    ASSERT_EQ(engine(0)->Lifecycle(), PageLifecycle::Frozen) << engine(0)->LastCall();
    EXPECT_TRUE(engine(0)->Called("QuerySleepBlockers()")) << "asked before sleeping";
    EXPECT_TRUE(policy().Sleeping(h.form->Windows().IndexOfChild(h.Child(0))));
    EXPECT_EQ(engine(2)->Lifecycle(), PageLifecycle::Active) << "the active window stays awake";
    EXPECT_EQ(engine(3)->Lifecycle(), PageLifecycle::Active) << "never loaded";

    RoundAt(31 * kMinute);
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Discarded);
    const QString caption = h.Child(0)->Caption();
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(0));
    h.Pump();
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Active);
    EXPECT_EQ(h.Child(0)->Caption(), caption);
    EXPECT_EQ(h.form->ChildCount(), 4);
    EXPECT_EQ(h.folder.Read("config.ini").find("Option_Ext"), std::string::npos) << "nothing written";
    // No window that could sleep out of sight: the memory, a walk over all
    // processes, is not read.
    int readings = 0;
    policy().memory = [&readings] { return ++readings, int64_t(0); };
    RoundAt(32 * kMinute);
    EXPECT_EQ(readings, 0);
    h.Child(1)->showMinimized();
    RoundAt(33 * kMinute);
    EXPECT_EQ(readings, 1);
}

TEST_F(SleepingWindows, OverTheBudgetTheMemoryIsReadAsideAndAfterTheLastDiscard)
{
    std::vector<std::function<void()>> readings;
    policy().inBackground = [&readings](std::function<void()> job) { readings.push_back(std::move(job)); };
    h.Child(1)->showMinimized();
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(2));
    memory = 1LL << 40;
    RoundAt(0);
    RoundAt(1000);
    ASSERT_EQ(readings.size(), 1u) << "one reading at a time";
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Active) << "no reading has finished";
    readings[0]();
    RoundAt(2000);
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Discarded);
    // The reading begun in that round counts memory being given back.
    readings[1]();
    RoundAt(3000);
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(engine(1)->Lifecycle(), PageLifecycle::Active);
    readings[2]();
    RoundAt(4000);
    EXPECT_EQ(engine(1)->Lifecycle(), PageLifecycle::Discarded);
}

TEST_F(SleepingWindows, PagesThatWouldLoseSomethingOrAreKeptStayAwake)
{
    engine(0)->sleepBlockers = SLEEP_BLOCKER_FORM_INPUT;
    h.Child(1)->showMinimized();
    h.form->Controls().mdiArea->setActiveSubWindow(h.Child(2));
    h.Pump();
    // The tab menu's item keeps window 1 awake.
    h.form->Tabs().SetPopupTab(h.form->Windows().IndexOfChild(h.Child(1)));
    QAction *keep = nullptr;
    for (QAction *item : h.form->Controls().TabPopup->actions())
        if (item->text() == QStringLiteral("このウィンドウを休止しない"))
            keep = item;
    ASSERT_NE(keep, nullptr);
    emit h.form->Controls().TabPopup->aboutToShow();
    EXPECT_FALSE(keep->isChecked());
    keep->trigger();
    EXPECT_TRUE(policy().KeptAwake(h.Child(1)->Tag));

    memory = 1LL << 40; // far over any budget
    RoundAt(0);
    RoundAt(40 * kMinute);
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Active) << "typed text";
    EXPECT_EQ(engine(1)->Lifecycle(), PageLifecycle::Active) << "kept awake";
    EXPECT_EQ(engine(1)->CountOf("QuerySleepBlockers"), 0);

    // Once the text is gone, the budget discards it at the next asking.
    engine(0)->sleepBlockers = 0;
    RoundAt(40 * kMinute + 29 * 1000);
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Active) << "asked again only after a while";
    RoundAt(40 * kMinute + 30 * 1000);
    EXPECT_EQ(engine(0)->Lifecycle(), PageLifecycle::Discarded);
}

} // namespace
