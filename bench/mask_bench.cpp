// Times MatchesURLMask as the address grows, with an ordinary block-list
// mask and with masks built to provoke backtracking, and prints each time
// against the 1k baseline of the same run: the ratios should grow like the
// address (2, 4, 8), never faster. Then times a pop-up check over block
// lists of 10, 100 and 1000 masks.
#include "core/UrlMask.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile int g_sink = 0; // keeps the matches from being optimised away

// Nanoseconds per call, repeating the call until at least 100 ms have passed.
double TimePerCall(const std::function<bool()> &call)
{
    long calls = 0;
    const auto start = Clock::now();
    auto now = start;
    do {
        for (int i = 0; i < 8; ++i) {
            g_sink = g_sink + (call() ? 1 : 0);
        }
        calls += 8;
        now = Clock::now();
    } while (now - start < std::chrono::milliseconds(100));
    return std::chrono::duration<double, std::nano>(now - start).count() / static_cast<double>(calls);
}

std::string Repeat(const std::string &piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

void GrowthTable(const char *title, const std::string &mask,
                 const std::function<std::string(size_t)> &address)
{
    std::printf("\n%s\n  mask: %.60s%s\n", title, mask.c_str(), mask.size() > 60 ? "..." : "");
    std::printf("  %8s %14s %10s\n", "length", "ns/match", "vs 1k");
    double baseline = 0;
    for (const size_t length : {1024, 2048, 4096, 8192}) {
        const std::string text = address(length);
        const double ns = TimePerCall([&] { return orvex::MatchesURLMask(text, mask); });
        if (baseline == 0) {
            baseline = ns;
        }
        std::printf("  %8zu %14.0f %10.2f\n", length, ns, ns / baseline);
    }
}

} // namespace

int main()
{
    const auto urlOfLength = [](size_t length) {
        std::string url = "http://www.example.com/";
        while (url.size() < length) {
            url += "path/segment?q=1&";
        }
        url.resize(length);
        return url;
    };
    const auto lettersA = [](size_t length) { return std::string(length, 'a'); };

    GrowthTable("Ordinary mask, no match (whole address scanned)", "*doubleclick*", urlOfLength);
    GrowthTable("Ordinary mask with a set, no match", "http://*.ad[0-9][0-9].*", urlOfLength);
    GrowthTable("Hostile: 30 stars between letters, no match", Repeat("*a", 30) + "*b", lettersA);
    GrowthTable("Hostile: a star then 30 letters, no match (backtracks at every position)",
                "*" + std::string(30, 'a') + "b", lettersA);

    std::printf("\nPop-up check: one address against every mask of a block list\n");
    std::printf("  %8s %14s %12s\n", "masks", "us/check", "ns/mask");
    const std::string address = "http://www.example.com/articles/2024/05/some-long-article-name.html?ref=top";
    for (const int count : {10, 100, 1000}) {
        std::vector<std::string> masks;
        for (int i = 0; i < count; ++i) {
            masks.push_back("*adhost" + std::to_string(i) + ".example.net/*");
        }
        const double ns = TimePerCall([&] {
            bool blocked = false;
            for (const std::string &mask : masks) {
                blocked = orvex::MatchesURLMask(address, mask) || blocked;
            }
            return blocked;
        });
        std::printf("  %8d %14.1f %12.1f\n", count, ns / 1000.0, ns / count);
    }
    return 0;
}
