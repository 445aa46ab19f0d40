// The browsing history in memory: one entry per address with its title, first
// and last visit and visit count, and the search behind address completion.
// The history store (history/HistoryStore) loads it from its database and
// keeps the two in step; the index itself knows nothing of files.
//
// Completion matches every typed word anywhere in the address or the title
// (ASCII letters without regard to case; other characters as they are). The
// folded texts of all entries stand one after another in one buffer, so a
// word is found with one memmem pass over it, whatever the number of
// entries; a title change appends the entry's new text and leaves the old
// bytes as garbage until the buffer is compacted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvex {

struct HistoryEntry {
    std::string url;
    std::string title;
    int64_t firstVisit = 0; // milliseconds since the epoch
    int64_t lastVisit = 0;
    int32_t visitCount = 0;
};

// A bookmark offered to completion beside the history.
struct CompletionBookmark {
    std::string url;
    std::string title;
};

struct CompletionMatch {
    std::string url;
    std::string title;
    bool bookmark = false;  // the address is a bookmark
    bool inHistory = false; // the address has history (Delete can remove it)
    double score = 0;
};

// ASCII letters to lower case; every other byte unchanged.
std::string FoldForMatching(std::string_view text);

class HistoryIndex {
public:
    // Records a visit at `when`: a new entry, or one more visit of the old one
    // (its title replaced when `title` is not empty). Returns the entry.
    const HistoryEntry &AddVisit(std::string_view url, std::string_view title, int64_t when);
    // Puts an entry as it was stored (loading); replaces one of the same url.
    void Put(HistoryEntry entry);
    // Sets the title of an entry that exists; false when there is none.
    bool SetTitle(std::string_view url, std::string_view title);
    bool Remove(std::string_view url);
    // Removes the entries last visited in [from, to); returns their addresses.
    std::vector<std::string> RemoveVisitedBetween(int64_t from, int64_t to);
    void Clear();

    const HistoryEntry *Find(std::string_view url) const;
    size_t Size() const { return byUrl_.size(); }
    // Every entry, most recently visited first.
    std::vector<HistoryEntry> EntriesByLastVisit() const;
    // The same without copying: (last visit, slot) pairs. A slot names its
    // entry until the next change (EntryAt: nullptr once it is gone).
    std::vector<std::pair<int64_t, uint32_t>> SlotsByLastVisit() const;
    const HistoryEntry *EntryAt(uint32_t slot) const;
    // Whether the entry's address or title holds every word (folded).
    bool EntryHolds(uint32_t slot, const std::vector<std::string> &foldedWords) const;

    // The best `limit` matches of `typed` among the history and `bookmarks`,
    // best first: visited often and lately ranks high, an address whose host
    // starts with the first word higher, a bookmark higher still. Empty when
    // `typed` holds no word.
    std::vector<CompletionMatch> Complete(std::string_view typed, size_t limit, int64_t now,
                                          const std::vector<CompletionBookmark> &bookmarks = {}) const;

    // How much of the text buffer is in use, for tests of the compaction.
    size_t TextBytes() const { return text_.size(); }

private:
    struct Slot {
        HistoryEntry entry;
        uint32_t region = kNoRegion; // its text's record in regions_
        bool alive = false;
    };
    // One written text: where it stands in text_, and what ranking needs of
    // its entry, so that a scan that passes every entry reads these records
    // one after another and never the entries themselves.
    struct Region {
        uint32_t begin, end;
        uint32_t slot;
        bool dead;
        uint8_t hostLength; // of hostStart, at most 8
        char hostStart[8];  // the folded start of the host (no scheme, no "www.")
        int32_t visits;
        int64_t lastVisit;
    };
    static constexpr uint32_t kNoRegion = UINT32_MAX;

    void WriteText(size_t slot);
    void Kill(size_t slot);
    void CompactIfWasteful();
    // After the entry's visits changed: its region's copy follows.
    void UpdateRegion(size_t slot);

    std::vector<Slot> slots_;
    std::vector<size_t> freeSlots_;
    std::unordered_map<std::string, size_t> byUrl_;
    std::string text_;            // folded texts, one after another
    std::vector<Region> regions_; // the written texts, in their order in text_
    size_t garbage_ = 0;          // bytes of text_ no live entry owns
};

// How an entry ranks: visit count weighted by how lately it was visited.
double FrecencyScore(int32_t visitCount, int64_t lastVisit, int64_t now);

} // namespace orvex
