// The work Orvex does with its files, against their size. One run prints:
//  1. start-up with bookmark files of 10k, 50k and 200k entries (menu, side
//     bar and editor tree, as the start builds them), in folders of 100 and
//     all at the top level; the ratio 200k/10k (target <= 25, near-linear);
//  2. the pop-up check with a 1 MB block list: the first check (reads and
//     compiles the list) and a later one (the list unchanged);
//  3. mask matching against address length and against mask length, with
//     the masks that were slowest before (doubling either should at most
//     double the time);
//  4. shutdown (FormClose) with a 5 MB config.ini against a 5 KB one.
#include "bookmarks/BookMark.h"
#include "bookmarks/BookmarkStore.h"
#include "browser/UrlMask.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QMenu>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace orvex;
using namespace orvex::test;
using Clock = std::chrono::steady_clock;

namespace {

double TimeMs(const std::function<void()> &f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The least of several runs: the machine is shared, and noise only adds.
double MinMs(int rounds, const std::function<void()> &f)
{
    double best = 1e300;
    for (int i = 0; i < rounds; ++i)
        best = std::min(best, TimeMs(f));
    return best;
}

double MedianMs(int rounds, const std::function<void()> &f)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i)
        times.push_back(TimeMs(f));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

BookmarkTree MakeTree(int entries, bool folders)
{
    BookmarkTree tree;
    for (int i = 0; i < entries; ++i) {
        BookmarkNode mark{
            "ページ " + std::to_string(i), "http://example.jp/" + std::to_string(i) + "/", false, {}};
        if (!folders) {
            tree.push_back(std::move(mark));
            continue;
        }
        if (i % 100 == 0)
            tree.push_back(BookmarkNode{"フォルダ " + std::to_string(i / 100), kFolderMarker, true, {}});
        tree.back().children.push_back(std::move(mark));
    }
    return tree;
}

// One start's bookmark work: read the file, then menu, side bar and editor.
double StartUpMs(int entries, bool folders)
{
    MainHarness h;
    WriteBookmarks(MakeTree(entries, folders));
    std::unique_ptr<Tfrm_BMEdit> editor; // lives on, as at a real start
    return TimeMs([&] {
        ReadBookmarkFile();
        h.form->BuildBookmarkMenu();
        h.form->BuildBookmarkBar();
        editor = std::make_unique<Tfrm_BMEdit>();
    });
}

void StartUp()
{
    if (std::getenv("FILES_BENCH_SKIP_STARTUP") != nullptr)
        return;
    StartUpMs(10000, true); // warm-up: first use of the libraries and fonts
    for (const bool folders : {true, false}) {
        double first = 0;
        for (const int entries : {10000, 50000, 200000}) {
            std::vector<double> times;
            for (int round = 0; round < (entries == 10000 ? 5 : 3); ++round)
                times.push_back(StartUpMs(entries, folders));
            std::sort(times.begin(), times.end());
            const double ms = times[times.size() / 2];
            if (entries == 10000)
                first = ms;
            std::printf("start-up, %6d bookmarks %-16s %9.1f ms", entries,
                        folders ? "(folders of 100)" : "(top level)", ms);
            if (entries != 10000)
                std::printf("   ratio to 10k %.1f%s", ms / first, entries == 200000 ? " (target <= 25)" : "");
            std::printf("\n");
        }
    }
}

void PopupCheck()
{
    MainHarness h("[General]\r\nLastEngine=IE\r\n[Option_advertisemen]\r\nCloseURL=1\r\n");
    std::string list;
    for (int i = 0; list.size() < (1u << 20); ++i)
        list += "*ads" + std::to_string(i) + ".example.com/*\r\n";
    h.folder.Write("CloseURL.txt", list);
    const QString address = QStringLiteral("http://www.example.org/news/today.html");
    const double first = TimeMs([&] { h.form->IsPopupURL(address); });
    const double later = MedianMs(20, [&] { h.form->IsPopupURL(address); });
    std::printf("pop-up check, 1 MB block list (%zu masks): first %.1f ms, later %.2f ms\n",
                static_cast<size_t>(std::count(list.begin(), list.end(), '\n')), first, later);
}

void Masks()
{
    struct Shape {
        const char *name;
        std::function<std::string(size_t)> mask; // of about the given length
    };
    // Each mask's last piece cannot be found in the address, so every piece
    // is looked for across the whole address.
    const std::vector<Shape> shapes = {
        {"*aaa…ab* (plain piece)", [](size_t n) { return "*" + std::string(n - 3, 'a') + "b*"; }},
        {"*a*a*…*b* (many stars)",
         [](size_t n) {
             std::string m;
             while (m.size() + 3 < n)
                 m += "*a";
             return m + "*b*";
         }},
        {"*a?a?…b* (? in piece)",
         [](size_t n) {
             std::string m = "*";
             while (m.size() + 3 < n)
                 m += "a?";
             return m + "b*";
         }},
        {"*[a-z]…[0-9]* (sets)",
         [](size_t n) {
             std::string m = "*";
             while (m.size() + 11 < n)
                 m += "[a-z]";
             return m + "[0-9]*";
         }},
    };
    for (const Shape &shape : shapes) {
        const std::string address1(1u << 20, 'a'), address2(2u << 20, 'a');
        const std::string mask1 = shape.mask(1024), mask2 = shape.mask(2048);
        const double a1 = MinMs(9, [&] { MatchesURLMask(address1, mask1); });
        const double a2 = MinMs(9, [&] { MatchesURLMask(address2, mask1); });
        const double m2 = MinMs(9, [&] { MatchesURLMask(address1, mask2); });
        std::printf("mask %-24s 1 MB address, 1 KB mask %7.1f ms; address x2 %7.1f ms (ratio %.2f); "
                    "mask x2 %7.1f ms (ratio %.2f)\n",
                    shape.name, a1, a2, a2 / a1, m2, m2 / a1);
    }
}

double ShutdownMs(size_t configBytes)
{
    std::string config = "[General]\r\nLastEngine=IE\r\n[Filler]\r\n";
    for (int i = 0; config.size() < configBytes; ++i)
        config += "Key" + std::to_string(i) + "=" + std::string(40, 'v') + "\r\n";
    config += "[Bar]\r\nJBar=1\r\n";
    MainHarness h(config);
    h.Start();
    return TimeMs([&] { h.form->close(); });
}

} // namespace

int main()
{
    Masks();
    StartUp();
    PopupCheck();
    const double small = ShutdownMs(5u << 10), large = ShutdownMs(5u << 20);
    std::printf("shutdown, config.ini 5 KB %.1f ms, 5 MB %.1f ms (ratio %.0f; the file is read, spliced and "
                "written once)\n",
                small, large, large / small);
    return 0;
}
