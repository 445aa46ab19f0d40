#include "core/HistoryIndex.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace orvex {

namespace {

constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;

// Words of a folded text: split at ASCII blanks and the ideographic space.
std::vector<std::string> SplitWords(const std::string &folded)
{
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty())
            words.push_back(std::move(word));
        word.clear();
    };
    for (size_t i = 0; i < folded.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(folded[i]);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            flush();
        } else if (c == 0xE3 && i + 2 < folded.size() && folded[i + 1] == '\x80' && folded[i + 2] == '\x80') {
            flush();
            i += 2;
        } else {
            word.push_back(folded[i]);
        }
    }
    flush();
    return words;
}

bool Contains(const char *begin, size_t size, const std::string &word)
{
    return memmem(begin, size, word.data(), word.size()) != nullptr;
}

// The address without its scheme and a leading "www.", where the host starts.
std::string_view HostStart(std::string_view url)
{
    const size_t scheme = url.find("://");
    if (scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    if (url.size() > 4 && (url.substr(0, 4) == "www." || url.substr(0, 4) == "WWW."))
        url.remove_prefix(4);
    return url;
}

bool HostStartsWith(std::string_view url, const std::string &foldedWord)
{
    const std::string_view host = HostStart(url);
    if (host.size() < foldedWord.size())
        return false;
    for (size_t i = 0; i < foldedWord.size(); ++i) {
        const char c = host[i] >= 'A' && host[i] <= 'Z' ? char(host[i] - 'A' + 'a') : host[i];
        if (c != foldedWord[i])
            return false;
    }
    return true;
}

} // namespace

std::string FoldForMatching(std::string_view text)
{
    std::string folded(text);
    for (char &c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

double FrecencyScore(int32_t visitCount, int64_t lastVisit, int64_t now)
{
    const int64_t age = now - lastVisit;
    const double weight = age < 4 * kDayMs    ? 100
                          : age < 14 * kDayMs ? 70
                          : age < 31 * kDayMs ? 50
                          : age < 90 * kDayMs ? 30
                                              : 10;
    return std::max(visitCount, 1) * weight;
}

const HistoryEntry &HistoryIndex::AddVisit(std::string_view url, std::string_view title, int64_t when)
{
    const auto found = byUrl_.find(std::string(url));
    if (found != byUrl_.end()) {
        Slot &slot = slots_[found->second];
        slot.entry.visitCount += 1;
        slot.entry.lastVisit = std::max(slot.entry.lastVisit, when);
        slot.entry.firstVisit = std::min(slot.entry.firstVisit, when);
        if (!title.empty() && title != slot.entry.title) {
            slot.entry.title = std::string(title);
            WriteText(found->second);
        } else {
            UpdateRegion(found->second);
        }
        return slot.entry;
    }
    HistoryEntry entry;
    entry.url = std::string(url);
    entry.title = std::string(title);
    entry.firstVisit = when;
    entry.lastVisit = when;
    entry.visitCount = 1;
    Put(std::move(entry));
    return slots_[byUrl_.at(std::string(url))].entry;
}

void HistoryIndex::Put(HistoryEntry entry)
{
    const auto found = byUrl_.find(entry.url);
    size_t index;
    if (found != byUrl_.end()) {
        index = found->second;
    } else if (!freeSlots_.empty()) {
        index = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        index = slots_.size();
        slots_.emplace_back();
    }
    Slot &slot = slots_[index];
    slot.entry = std::move(entry);
    slot.alive = true;
    byUrl_[slot.entry.url] = index;
    WriteText(index);
}

bool HistoryIndex::SetTitle(std::string_view url, std::string_view title)
{
    const auto found = byUrl_.find(std::string(url));
    if (found == byUrl_.end())
        return false;
    Slot &slot = slots_[found->second];
    if (slot.entry.title != title) {
        slot.entry.title = std::string(title);
        WriteText(found->second);
    }
    return true;
}

bool HistoryIndex::Remove(std::string_view url)
{
    const auto found = byUrl_.find(std::string(url));
    if (found == byUrl_.end())
        return false;
    const size_t index = found->second;
    byUrl_.erase(found);
    Kill(index);
    CompactIfWasteful();
    return true;
}

std::vector<std::string> HistoryIndex::RemoveVisitedBetween(int64_t from, int64_t to)
{
    std::vector<std::string> removed;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot &slot = slots_[i];
        if (slot.alive && slot.entry.lastVisit >= from && slot.entry.lastVisit < to) {
            removed.push_back(slot.entry.url);
            byUrl_.erase(slot.entry.url);
            Kill(i);
        }
    }
    CompactIfWasteful();
    return removed;
}

void HistoryIndex::Clear()
{
    *this = HistoryIndex();
}

const HistoryEntry *HistoryIndex::Find(std::string_view url) const
{
    const auto found = byUrl_.find(std::string(url));
    return found == byUrl_.end() ? nullptr : &slots_[found->second].entry;
}

std::vector<std::pair<int64_t, uint32_t>> HistoryIndex::SlotsByLastVisit() const
{
    std::vector<std::pair<int64_t, uint32_t>> order;
    order.reserve(byUrl_.size());
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].alive)
            order.emplace_back(slots_[i].entry.lastVisit, static_cast<uint32_t>(i));
    }
    std::sort(order.begin(), order.end(), [this](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first
                                  : slots_[a.second].entry.url < slots_[b.second].entry.url;
    });
    return order;
}

std::vector<HistoryEntry> HistoryIndex::EntriesByLastVisit() const
{
    std::vector<HistoryEntry> entries;
    for (const auto &item : SlotsByLastVisit())
        entries.push_back(slots_[item.second].entry);
    return entries;
}

const HistoryEntry *HistoryIndex::EntryAt(uint32_t slot) const
{
    return slot < slots_.size() && slots_[slot].alive ? &slots_[slot].entry : nullptr;
}

bool HistoryIndex::EntryHolds(uint32_t slot, const std::vector<std::string> &foldedWords) const
{
    if (!EntryAt(slot))
        return false;
    const Region &region = regions_[slots_[slot].region];
    for (const std::string &word : foldedWords) {
        if (!Contains(text_.data() + region.begin, region.end - region.begin, word))
            return false;
    }
    return true;
}

void HistoryIndex::WriteText(size_t index)
{
    Slot &slot = slots_[index];
    if (slot.region != kNoRegion) {
        Region &old = regions_[slot.region];
        old.dead = true;
        garbage_ += old.end - old.begin;
    }
    Region region{};
    region.begin = static_cast<uint32_t>(text_.size());
    text_ += FoldForMatching(slot.entry.url);
    text_ += '\n';
    text_ += FoldForMatching(slot.entry.title);
    text_ += '\n';
    region.end = static_cast<uint32_t>(text_.size());
    region.slot = static_cast<uint32_t>(index);
    const std::string host = FoldForMatching(HostStart(slot.entry.url).substr(0, sizeof region.hostStart));
    region.hostLength = static_cast<uint8_t>(host.size());
    std::copy(host.begin(), host.end(), region.hostStart);
    slot.region = static_cast<uint32_t>(regions_.size());
    regions_.push_back(region);
    UpdateRegion(index);
    CompactIfWasteful();
}

void HistoryIndex::UpdateRegion(size_t index)
{
    const Slot &slot = slots_[index];
    Region &region = regions_[slot.region];
    region.visits = slot.entry.visitCount;
    region.lastVisit = slot.entry.lastVisit;
}

void HistoryIndex::Kill(size_t index)
{
    Slot &slot = slots_[index];
    if (slot.region != kNoRegion) {
        Region &old = regions_[slot.region];
        old.dead = true;
        garbage_ += old.end - old.begin;
    }
    slot = Slot();
    freeSlots_.push_back(index);
}

void HistoryIndex::CompactIfWasteful()
{
    if (garbage_ < 4096 || garbage_ * 2 < text_.size())
        return;
    std::string text;
    text.reserve(text_.size() - garbage_);
    std::vector<Region> regions;
    regions.reserve(byUrl_.size());
    // Keep the texts in their buffer order, so the regions stay sorted.
    for (const Region &old : regions_) {
        if (old.dead)
            continue;
        Region region = old;
        region.begin = static_cast<uint32_t>(text.size());
        text.append(text_, old.begin, old.end - old.begin);
        region.end = static_cast<uint32_t>(text.size());
        slots_[region.slot].region = static_cast<uint32_t>(regions.size());
        regions.push_back(region);
    }
    text_ = std::move(text);
    regions_ = std::move(regions);
    garbage_ = 0;
}

std::vector<CompletionMatch> HistoryIndex::Complete(std::string_view typed, size_t limit, int64_t now,
                                                    const std::vector<CompletionBookmark> &bookmarks) const
{
    const std::vector<std::string> words = SplitWords(FoldForMatching(typed));
    if (words.empty() || limit == 0)
        return {};
    // The longest word is scanned for (it is the rarest, as a rule); the
    // others are checked within each entry found.
    size_t scanned = 0;
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i].size() > words[scanned].size())
            scanned = i;
    }
    const std::string &needle = words[scanned];
    auto allWords = [&](const char *begin, size_t size) {
        for (size_t i = 0; i < words.size(); ++i) {
            if (i != scanned && !Contains(begin, size, words[i]))
                return false;
        }
        return true;
    };
    // The history entries that are bookmarks, by slot: the scan below may
    // pass every entry, so it looks up a flag, not an address.
    std::vector<char> bookmarked(bookmarks.empty() ? 0 : slots_.size(), 0);
    for (const CompletionBookmark &bookmark : bookmarks) {
        const auto found = byUrl_.find(bookmark.url);
        if (found != byUrl_.end())
            bookmarked[found->second] = 1;
    }

    struct Candidate {
        double score;
        long slot;       // -1 for a bookmark outside the history
        size_t bookmark; // index in `bookmarks` when slot is -1
    };
    std::vector<Candidate> candidates;
    const char *text = text_.data();
    const std::string &first = words.front();
    auto hostStartsWithFirst = [&](const Region &region) {
        if (first.size() > sizeof region.hostStart)
            return HostStartsWith(slots_[region.slot].entry.url, first);
        return first.size() <= region.hostLength && std::equal(first.begin(), first.end(), region.hostStart);
    };
    // Hits come in buffer order, and so do the regions: one cursor finds the
    // region of each hit.
    size_t cursor = 0;
    size_t pos = 0;
    while (pos < text_.size()) {
        const void *hit = memmem(text + pos, text_.size() - pos, needle.data(), needle.size());
        if (!hit)
            break;
        const size_t at = static_cast<const char *>(hit) - text;
        while (cursor + 1 < regions_.size() && regions_[cursor + 1].begin <= at)
            ++cursor;
        const Region &region = regions_[cursor];
        pos = region.end;
        if (region.dead || at >= region.end)
            continue; // an old text, given up
        if (!allWords(text + region.begin, region.end - region.begin))
            continue;
        double score = FrecencyScore(region.visits, region.lastVisit, now);
        if (hostStartsWithFirst(region))
            score *= 3;
        if (!bookmarked.empty() && bookmarked[region.slot])
            score *= 1.5;
        candidates.push_back({score, long(region.slot), 0});
    }
    // A bookmark may stand more than once in the bookmark file: it is
    // offered once.
    std::unordered_set<std::string_view> offered;
    for (size_t i = 0; i < bookmarks.size(); ++i) {
        const CompletionBookmark &bookmark = bookmarks[i];
        if (byUrl_.count(bookmark.url) || !offered.insert(bookmark.url).second)
            continue; // ranked with its history above, or offered already
        const std::string folded = FoldForMatching(bookmark.url) + '\n' + FoldForMatching(bookmark.title);
        if (!Contains(folded.data(), folded.size(), needle) || !allWords(folded.data(), folded.size()))
            continue;
        // A bookmark never visited ranks as one visit some weeks ago.
        double score = FrecencyScore(1, now - 20 * kDayMs, now) * 1.5;
        if (HostStartsWith(bookmark.url, words.front()))
            score *= 3;
        candidates.push_back({score, -1, i});
    }
    auto urlOf = [&](const Candidate &c) -> const std::string & {
        return c.slot >= 0 ? slots_[c.slot].entry.url : bookmarks[c.bookmark].url;
    };
    auto better = [&](const Candidate &a, const Candidate &b) {
        if (a.score != b.score)
            return a.score > b.score;
        const int64_t va = a.slot >= 0 ? slots_[a.slot].entry.lastVisit : 0;
        const int64_t vb = b.slot >= 0 ? slots_[b.slot].entry.lastVisit : 0;
        if (va != vb)
            return va > vb;
        return urlOf(a) < urlOf(b);
    };
    const size_t kept = std::min(limit, candidates.size());
    std::partial_sort(candidates.begin(), candidates.begin() + kept, candidates.end(), better);
    std::vector<CompletionMatch> matches;
    matches.reserve(kept);
    for (size_t i = 0; i < kept; ++i) {
        const Candidate &c = candidates[i];
        CompletionMatch match;
        match.url = urlOf(c);
        match.title = c.slot >= 0 ? slots_[c.slot].entry.title : bookmarks[c.bookmark].title;
        match.inHistory = c.slot >= 0;
        match.bookmark = c.slot < 0 || (!bookmarked.empty() && bookmarked[c.slot]);
        match.score = c.score;
        matches.push_back(std::move(match));
    }
    return matches;
}

} // namespace orvex
