#include "core/HistoryIndex.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
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

namespace {

// Buckets moved from the old array to the new one per change: the old one
// is empty long before the new one is full.
constexpr size_t kBucketsPerChange = 8;
constexpr size_t kFirstBuckets = 1024;
// A text block is compacted when this many bytes or more are garbage and
// they are at least half of what it holds.
constexpr uint32_t kCompactAtLeast = 4096;

size_t HashOf(std::string_view url)
{
    return std::hash<std::string_view>{}(url);
}

// Folds `text` into `out`; returns the byte after it.
char *FoldInto(char *out, std::string_view text)
{
    for (const char c : text)
        *out++ = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

} // namespace

void HistoryIndex::Buckets::Free::operator()(uint32_t *heads) const
{
    std::free(heads);
}

const HistoryEntry &HistoryIndex::AddVisit(std::string_view url, std::string_view title, int64_t when)
{
    const size_t hash = HashOf(url);
    uint32_t index = Lookup(url, hash);
    if (index != kNone) {
        Slot &slot = slots_[index];
        slot.entry.visitCount += 1;
        slot.entry.lastVisit = std::max(slot.entry.lastVisit, when);
        slot.entry.firstVisit = std::min(slot.entry.firstVisit, when);
        if (!title.empty() && title != slot.entry.title) {
            slot.entry.title = std::string(title);
            WriteText(index);
        } else {
            UpdateRegion(index);
        }
        return slot.entry;
    }
    index = NewSlot();
    Slot &slot = slots_[index];
    slot.entry.url = std::string(url);
    slot.entry.title = std::string(title);
    slot.entry.firstVisit = when;
    slot.entry.lastVisit = when;
    slot.entry.visitCount = 1;
    slot.hash = hash;
    Link(index);
    WriteText(index);
    return slot.entry;
}

void HistoryIndex::Put(HistoryEntry entry)
{
    const size_t hash = HashOf(entry.url);
    uint32_t index = Lookup(entry.url, hash);
    if (index != kNone) {
        slots_[index].entry = std::move(entry);
    } else {
        index = NewSlot();
        Slot &slot = slots_[index];
        slot.entry = std::move(entry);
        slot.hash = hash;
        Link(index);
    }
    WriteText(index);
}

bool HistoryIndex::SetTitle(std::string_view url, std::string_view title)
{
    const uint32_t index = Lookup(url, HashOf(url));
    if (index == kNone)
        return false;
    Slot &slot = slots_[index];
    if (slot.entry.title != title) {
        slot.entry.title = std::string(title);
        WriteText(index);
    }
    return true;
}

bool HistoryIndex::Remove(std::string_view url)
{
    const uint32_t index = Lookup(url, HashOf(url));
    if (index == kNone)
        return false;
    Kill(index);
    return true;
}

std::vector<std::string> HistoryIndex::RemoveVisitedBetween(int64_t from, int64_t to)
{
    std::vector<std::string> removed;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot &slot = slots_[i];
        if (slot.alive && slot.entry.lastVisit >= from && slot.entry.lastVisit < to) {
            removed.push_back(slot.entry.url);
            Kill(static_cast<uint32_t>(i));
        }
    }
    return removed;
}

void HistoryIndex::Clear()
{
    *this = HistoryIndex();
}

const HistoryEntry *HistoryIndex::Find(std::string_view url) const
{
    const uint32_t index = Lookup(url, HashOf(url));
    return index == kNone ? nullptr : &slots_[index].entry;
}

std::vector<std::pair<int64_t, uint32_t>> HistoryIndex::SlotsByLastVisit() const
{
    std::vector<std::pair<int64_t, uint32_t>> order;
    order.reserve(live_);
    // The regions carry what is needed, packed closer than the entries.
    for (const TextBlock &block : blocks_) {
        for (const Region &region : block.regions) {
            if (!region.dead)
                order.emplace_back(region.lastVisit, region.slot);
        }
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
    const Region &region = RegionOf(slot);
    const char *text = blocks_[slots_[slot].block].text.get();
    for (const std::string &word : foldedWords) {
        if (!Contains(text + region.begin, region.end - region.begin, word))
            return false;
    }
    return true;
}

size_t HistoryIndex::TextBytes() const
{
    size_t bytes = 0;
    for (const TextBlock &block : blocks_)
        bytes += block.used;
    return bytes;
}

uint32_t HistoryIndex::Lookup(std::string_view url, size_t hash) const
{
    for (const Buckets *buckets : {&table_, &old_}) {
        if (!buckets->count)
            continue;
        for (uint32_t head = buckets->heads[hash & (buckets->count - 1)]; head;) {
            const Slot &slot = slots_[head - 1];
            if (slot.hash == hash && slot.entry.url == url)
                return head - 1;
            head = slot.next;
        }
    }
    return kNone;
}

uint32_t &HistoryIndex::BucketOf(size_t hash)
{
    // A bucket of the old array not yet moved still holds its chain.
    if (old_.count && (hash & (old_.count - 1)) >= moved_)
        return old_.heads[hash & (old_.count - 1)];
    return table_.heads[hash & (table_.count - 1)];
}

void HistoryIndex::Link(uint32_t index)
{
    if (live_ >= table_.count) {
        // Full (or never made): a new array of twice the size; the chains
        // move over a few buckets per change from now on.
        MoveBuckets(old_.count); // the growth before, long done as a rule
        Buckets grown;
        grown.count = table_.count ? table_.count * 2 : kFirstBuckets;
        // calloc: a large array comes as pages the system zeroes on first use.
        grown.heads.reset(static_cast<uint32_t *>(std::calloc(grown.count, sizeof(uint32_t))));
        if (!grown.heads)
            throw std::bad_alloc();
        old_ = std::move(table_);
        table_ = std::move(grown);
        moved_ = 0;
    }
    Slot &slot = slots_[index];
    uint32_t &head = BucketOf(slot.hash);
    slot.next = head;
    head = index + 1;
    ++live_;
    MoveBuckets(kBucketsPerChange);
}

void HistoryIndex::Unlink(uint32_t index)
{
    Slot &slot = slots_[index];
    uint32_t *link = &BucketOf(slot.hash);
    while (*link != index + 1)
        link = &slots_[*link - 1].next;
    *link = slot.next;
    slot.next = 0;
    --live_;
    MoveBuckets(kBucketsPerChange);
}

void HistoryIndex::MoveBuckets(size_t count)
{
    if (!old_.count)
        return;
    for (; count > 0 && moved_ < old_.count; --count, ++moved_) {
        uint32_t head = old_.heads[moved_];
        old_.heads[moved_] = 0;
        while (head) {
            Slot &slot = slots_[head - 1];
            const uint32_t next = slot.next;
            uint32_t &into = table_.heads[slot.hash & (table_.count - 1)];
            slot.next = into;
            into = head;
            head = next;
        }
    }
    if (moved_ == old_.count) {
        old_ = Buckets();
        moved_ = 0;
    }
}

uint32_t HistoryIndex::NewSlot()
{
    uint32_t index;
    if (!freeSlots_.empty()) {
        index = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        index = static_cast<uint32_t>(slots_.size());
        slots_.emplace_back();
    }
    slots_[index].alive = true;
    return index;
}

uint32_t HistoryIndex::BlockWithRoom(size_t bytes)
{
    auto room = [&](uint32_t b) {
        const TextBlock &block = blocks_[b];
        return block.regions.size() < block.regions.capacity() ? block.capacity - block.used : 0;
    };
    if (current_ != kNone && room(current_) >= bytes)
        return current_;
    // A block compacted earlier has half of it free, or more.
    for (uint32_t b = 0; b < blocks_.size(); ++b) {
        if (room(b) >= bytes && room(b) >= blocks_[b].capacity / 2 &&
            blocks_[b].regions.size() <= blocks_[b].regions.capacity() / 2)
            return current_ = b;
    }
    TextBlock block;
    block.capacity = static_cast<uint32_t>(std::max(bytes, kTextBlockBytes));
    block.text.reset(new char[block.capacity]); // left unwritten: its pages cost nothing until used
    // A block made for one long text takes that one only.
    block.regions.reserve(bytes > kTextBlockBytes ? 1 : kTextsPerBlock);
    blocks_.push_back(std::move(block));
    return current_ = static_cast<uint32_t>(blocks_.size() - 1);
}

void HistoryIndex::WriteText(uint32_t index)
{
    Slot &slot = slots_[index];
    const uint32_t oldBlock = slot.block;
    KillText(slot);
    const std::string_view url = slot.entry.url, title = slot.entry.title;
    const uint32_t b = BlockWithRoom(url.size() + title.size() + 2);
    TextBlock &block = blocks_[b];
    Region region{};
    region.begin = block.used;
    char *out = FoldInto(block.text.get() + block.used, url);
    *out++ = '\n';
    out = FoldInto(out, title);
    *out++ = '\n';
    block.used = static_cast<uint32_t>(out - block.text.get());
    region.end = block.used;
    region.slot = index;
    const std::string_view host = HostStart(url).substr(0, sizeof region.hostStart);
    region.hostLength = static_cast<uint8_t>(host.size());
    FoldInto(region.hostStart, host);
    slot.block = b;
    slot.region = static_cast<uint32_t>(block.regions.size());
    block.regions.push_back(region);
    UpdateRegion(index);
    if (oldBlock != kNone)
        CompactIfWasteful(oldBlock);
}

void HistoryIndex::UpdateRegion(uint32_t index)
{
    const Slot &slot = slots_[index];
    Region &region = blocks_[slot.block].regions[slot.region];
    region.visits = slot.entry.visitCount;
    region.lastVisit = slot.entry.lastVisit;
}

void HistoryIndex::KillText(const Slot &slot)
{
    if (slot.block == kNone)
        return;
    TextBlock &block = blocks_[slot.block];
    Region &old = block.regions[slot.region];
    old.dead = true;
    block.garbage += old.end - old.begin;
}

void HistoryIndex::Kill(uint32_t index)
{
    Unlink(index);
    Slot &slot = slots_[index];
    const uint32_t block = slot.block;
    KillText(slot);
    slot = Slot();
    freeSlots_.push_back(index);
    if (block != kNone)
        CompactIfWasteful(block);
}

void HistoryIndex::CompactIfWasteful(uint32_t b)
{
    TextBlock &block = blocks_[b];
    if (block.garbage < kCompactAtLeast || block.garbage * 2 < block.used)
        return;
    // The live texts move to the front in their order, so the regions stay
    // sorted; only this block's entries learn their new places.
    char *text = block.text.get();
    uint32_t used = 0;
    size_t kept = 0;
    for (const Region &old : block.regions) {
        if (old.dead)
            continue;
        Region region = old;
        region.begin = used;
        std::memmove(text + used, text + old.begin, old.end - old.begin);
        used += old.end - old.begin;
        region.end = used;
        slots_[region.slot].region = static_cast<uint32_t>(kept);
        block.regions[kept++] = region;
    }
    block.regions.resize(kept); // keeps the reserve
    block.used = used;
    block.garbage = 0;
    if (used == 0 && block.capacity > kTextBlockBytes) {
        // A block made for one long text gives its memory back once empty.
        block.text.reset();
        block.capacity = 0;
        if (current_ == b)
            current_ = kNone;
    }
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
        const uint32_t found = Lookup(bookmark.url, HashOf(bookmark.url));
        if (found != kNone)
            bookmarked[found] = 1;
    }

    struct Candidate {
        double score;
        int64_t lastVisit; // 0 for a bookmark outside the history
        long slot;         // -1 for a bookmark outside the history
        size_t bookmark;   // index in `bookmarks` when slot is -1
    };
    auto urlOf = [&](const Candidate &c) -> const std::string & {
        return c.slot >= 0 ? slots_[c.slot].entry.url : bookmarks[c.bookmark].url;
    };
    auto better = [&](const Candidate &a, const Candidate &b) {
        if (a.score != b.score)
            return a.score > b.score;
        if (a.lastVisit != b.lastVisit)
            return a.lastVisit > b.lastVisit;
        return urlOf(a) < urlOf(b);
    };
    // The best `limit` so far, the least of them on top: a short word
    // matches nearly every entry, and keeping them all would cost a large
    // allocation per keystroke.
    std::vector<Candidate> best;
    auto offer = [&](const Candidate &c) {
        if (best.size() < limit) {
            best.push_back(c);
            std::push_heap(best.begin(), best.end(), better);
        } else if (better(c, best.front())) {
            std::pop_heap(best.begin(), best.end(), better);
            best.back() = c;
            std::push_heap(best.begin(), best.end(), better);
        }
    };
    const std::string &first = words.front();
    auto hostStartsWithFirst = [&](const Region &region) {
        if (first.size() > sizeof region.hostStart)
            return HostStartsWith(slots_[region.slot].entry.url, first);
        return first.size() <= region.hostLength && std::equal(first.begin(), first.end(), region.hostStart);
    };
    for (const TextBlock &block : blocks_) {
        // Hits come in the block's order, and so do its regions: one cursor
        // finds the region of each hit.
        const char *text = block.text.get();
        const std::vector<Region> &regions = block.regions;
        size_t cursor = 0;
        size_t pos = 0;
        while (pos < block.used) {
            const void *hit = memmem(text + pos, block.used - pos, needle.data(), needle.size());
            if (!hit)
                break;
            const size_t at = static_cast<const char *>(hit) - text;
            while (cursor + 1 < regions.size() && regions[cursor + 1].begin <= at)
                ++cursor;
            const Region &region = regions[cursor];
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
            offer({score, region.lastVisit, long(region.slot), 0});
        }
    }
    // A bookmark may stand more than once in the bookmark file: it is
    // offered once.
    std::unordered_set<std::string_view> offered;
    for (size_t i = 0; i < bookmarks.size(); ++i) {
        const CompletionBookmark &bookmark = bookmarks[i];
        if (Lookup(bookmark.url, HashOf(bookmark.url)) != kNone || !offered.insert(bookmark.url).second)
            continue; // ranked with its history above, or offered already
        const std::string folded = FoldForMatching(bookmark.url) + '\n' + FoldForMatching(bookmark.title);
        if (!Contains(folded.data(), folded.size(), needle) || !allWords(folded.data(), folded.size()))
            continue;
        // A bookmark never visited ranks as one visit some weeks ago.
        double score = FrecencyScore(1, now - 20 * kDayMs, now) * 1.5;
        if (HostStartsWith(bookmark.url, words.front()))
            score *= 3;
        offer({score, 0, -1, i});
    }
    std::sort_heap(best.begin(), best.end(), better);
    const size_t kept = best.size();
    std::vector<CompletionMatch> matches;
    matches.reserve(kept);
    for (size_t i = 0; i < kept; ++i) {
        const Candidate &c = best[i];
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
