// The history index: completion (words anywhere, ranking, bookmarks) and
// its text buffer staying exact through title changes and removals.
#include "core/HistoryIndex.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

constexpr int64_t kDay = 24LL * 60 * 60 * 1000;
constexpr int64_t kNow = 1'800'000'000'000LL;

std::vector<std::string> Urls(const std::vector<CompletionMatch> &matches)
{
    std::vector<std::string> urls;
    for (const CompletionMatch &match : matches)
        urls.push_back(match.url);
    return urls;
}

TEST(HistoryIndex, CompletesWordsAnywhereRankedByVisitsRecencyAndHost)
{
    HistoryIndex index;
    for (int i = 0; i < 20; ++i)
        index.AddVisit("https://www.youtube.com/", "YouTube", kNow - kDay);
    index.AddVisit("https://example.com/you", "Example", kNow - kDay);
    // Visited more, but long ago: ranks below the page seen once yesterday.
    for (int i = 0; i < 5; ++i)
        index.AddVisit("https://old.example/youth", "Youth", kNow - 200 * kDay);
    for (int i = 0; i < 3; ++i)
        index.AddVisit("https://news.example.jp/a", "今日の天気予報 東京", kNow - kDay);

    EXPECT_EQ(Urls(index.Complete("YOU", 10, kNow)),
              (std::vector<std::string>{"https://www.youtube.com/", "https://example.com/you",
                                        "https://old.example/youth"}));
    EXPECT_EQ(Urls(index.Complete("you", 1, kNow)), std::vector<std::string>{"https://www.youtube.com/"});
    // A word from the middle of a Japanese title; every word must be there,
    // ideographic spaces separate words too.
    EXPECT_EQ(Urls(index.Complete("天気", 10, kNow)), std::vector<std::string>{"https://news.example.jp/a"});
    EXPECT_EQ(Urls(index.Complete("天気\u3000東京", 10, kNow)).size(), 1u);
    EXPECT_TRUE(index.Complete("天気 大阪", 10, kNow).empty());
    EXPECT_TRUE(index.Complete("   ", 10, kNow).empty());
    // A word never spans the address and the title.
    EXPECT_TRUE(index.Complete("/ayou", 10, kNow).empty());

    const std::vector<CompletionBookmark> bookmarks = {{"https://yoyaku.example/", "予約のページ"},
                                                       {"https://yoyaku.example/", "予約のページ"},
                                                       {"https://news.example.jp/a", "天気"}};
    const std::vector<CompletionMatch> booked = index.Complete("予約", 10, kNow, bookmarks);
    ASSERT_EQ(booked.size(), 1u); // listed twice in the file, offered once
    EXPECT_TRUE(booked[0].bookmark);
    EXPECT_FALSE(booked[0].inHistory);
    const std::vector<CompletionMatch> weather = index.Complete("天気", 10, kNow, bookmarks);
    ASSERT_EQ(weather.size(), 1u);
    EXPECT_TRUE(weather[0].bookmark && weather[0].inHistory);
    EXPECT_EQ(weather[0].title, "今日の天気予報 東京");
}

TEST(HistoryIndex, TitleChangesAndRemovalsLeaveNoStaleMatches)
{
    HistoryIndex index;
    for (int i = 0; i < 3000; ++i)
        index.AddVisit("http://h/" + std::to_string(i), "old title " + std::to_string(i), kNow - i * 1000);
    const size_t before = index.TextBytes();
    for (int i = 0; i < 3000; ++i)
        index.SetTitle("http://h/" + std::to_string(i), "fresh " + std::to_string(i));
    for (int i = 0; i < 3000; i += 2)
        index.Remove("http://h/" + std::to_string(i));
    EXPECT_TRUE(index.Complete("old", 10, kNow).empty());
    EXPECT_TRUE(index.Complete("fresh 1000", 10, kNow).empty()); // removed
    EXPECT_EQ(Urls(index.Complete("fresh 1001", 10, kNow)), std::vector<std::string>{"http://h/1001"});
    EXPECT_EQ(index.Complete("fresh", 5000, kNow).size(), 1500u);
    // The old texts were given back.
    EXPECT_LT(index.TextBytes(), before);

    // A visit adds to the count and keeps the first visit.
    const HistoryEntry &again = index.AddVisit("http://h/1", "", kNow);
    EXPECT_EQ(again.visitCount, 2);
    EXPECT_EQ(again.firstVisit, kNow - 1000);
    EXPECT_EQ(again.title, "fresh 1");

    const std::vector<std::string> removed = index.RemoveVisitedBetween(kNow - 5500, kNow - 2000);
    EXPECT_EQ(removed.size(), 2u); // 3 and 5; 1 was visited again
    EXPECT_EQ(index.Find("http://h/3"), nullptr);
    ASSERT_NE(index.Find("http://h/1"), nullptr);
    EXPECT_EQ(index.EntriesByLastVisit().front().url, "http://h/1");
}

} // namespace
