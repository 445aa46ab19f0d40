// The history index: completion (words anywhere, ranking, bookmarks) and
// its text blocks and address table staying exact through growth, title
// changes and removals.
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

// Enough entries for several text blocks and several growths of the address
// table, with removals while the table is moving its chains.
TEST(HistoryIndex, StaysExactAcrossTextBlocksAndTableGrowth)
{
    HistoryIndex index;
    const int count = 30000;
    const std::string padding(40, 'p');
    auto url = [](int i) { return "https://h" + std::to_string(i % 97) + ".example/" + std::to_string(i); };
    std::vector<bool> removed(count, false);
    for (int i = 0; i < count; ++i) {
        index.AddVisit(url(i), "title w" + std::to_string(i) + "x " + padding, kNow - i);
        if (i % 5 == 0) {
            removed[i * 3 / 5] = true;
            index.Remove(url(i * 3 / 5));
        }
    }
    ASSERT_GT(index.TextBytes(), 2 * HistoryIndex::kTextBlockBytes);
    size_t live = 0;
    for (int i = 0; i < count; ++i) {
        const HistoryEntry *entry = index.Find(url(i));
        live += !removed[i];
        ASSERT_EQ(entry == nullptr, bool(removed[i])) << i;
        if (entry) {
            ASSERT_EQ(entry->url, url(i));
        }
    }
    EXPECT_EQ(index.Size(), live);
    EXPECT_EQ(index.Complete("title", count, kNow).size(), live);
    for (int i : {1, 14999, count - 1})
        EXPECT_EQ(Urls(index.Complete("w" + std::to_string(i) + "x", 10, kNow)),
                  std::vector<std::string>{url(i)});

    // Every title changes: the old texts go as their blocks are compacted,
    // and the moved texts still answer for their entries.
    const size_t before = index.TextBytes();
    for (int i = 0; i < count; ++i)
        index.SetTitle(url(i), "renamed v" + std::to_string(i) + "y " + padding);
    EXPECT_LT(index.TextBytes(), before * 3 / 2);
    EXPECT_TRUE(index.Complete("title", 10, kNow).empty());
    EXPECT_EQ(index.Complete("renamed", count, kNow).size(), live);
    for (int i : {1, 14999, count - 1})
        EXPECT_EQ(Urls(index.Complete("v" + std::to_string(i) + "y", 10, kNow)),
                  std::vector<std::string>{url(i)});

    // A text longer than a block gets a block of its own.
    const std::string huge = std::string(2 * HistoryIndex::kTextBlockBytes, 'z') + " tail";
    index.AddVisit("https://huge.example/", huge, kNow);
    index.AddVisit("https://after.example/", "tail", kNow);
    EXPECT_EQ(index.Complete("zzzz tail", 10, kNow).size(), 1u);
    EXPECT_EQ(index.Complete("tail", 10, kNow).size(), 2u);
    index.Remove("https://huge.example/");
    EXPECT_EQ(Urls(index.Complete("tail", 10, kNow)), std::vector<std::string>{"https://after.example/"});

    // Short texts fill blocks by their number, not their bytes.
    for (int i = 0; i < 20000; ++i)
        index.AddVisit("http://s/" + std::to_string(i), "", kNow);
    EXPECT_EQ(index.Complete("http://s/", count, kNow).size(), 20000u);
    EXPECT_EQ(Urls(index.Complete("s/19999", 10, kNow)), std::vector<std::string>{"http://s/19999"});
}

} // namespace
