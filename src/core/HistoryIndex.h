// The browsing history in memory: one entry per address with its title, first
// and last visit and visit count, and the search behind address completion.
// The history store (history/HistoryStore) loads it from its database and
// keeps the two in step; the index itself knows nothing of files.
//
// Completion matches every typed word anywhere in the address or the title
// (ASCII letters without regard to case; other characters as they are). The
// folded texts of the entries stand one after another in a few large text
// blocks, so a word is found with one memmem pass per block, whatever the
// number of entries; a title change appends the entry's new text and leaves
// the old bytes as garbage until their block is compacted.
//
// A visit is recorded on the user-interface thread, so no single change may
// pay for the index's size: the entries and texts grow block by block and
// are never moved to grow, the address table grows a few buckets per change,
// and a compaction rewrites one text block, not all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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
    size_t Size() const { return live_; }
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

    // How many bytes the text blocks hold (live and garbage), for tests of
    // the compaction.
    size_t TextBytes() const;
    // The bytes one text block holds unless a text is longer.
    static constexpr size_t kTextBlockBytes = size_t(1) << 19;
    // The texts one text block takes at most.
    static constexpr size_t kTextsPerBlock = 8192;

private:
    // An array that grows by blocks of fixed size: an element never moves,
    // so growing never copies what is there.
    template <typename T> class BlockArray {
    public:
        T &operator[](size_t i) { return blocks_[i >> kShift][i & kMask]; }
        const T &operator[](size_t i) const { return blocks_[i >> kShift][i & kMask]; }
        size_t size() const { return size_; }
        T &emplace_back()
        {
            if (size_ == blocks_.size() << kShift)
                blocks_.push_back(std::make_unique<T[]>(size_t(1) << kShift));
            return (*this)[size_++];
        }

    private:
        static constexpr size_t kShift = 8, kMask = (size_t(1) << kShift) - 1;
        std::vector<std::unique_ptr<T[]>> blocks_;
        size_t size_ = 0;
    };

    static constexpr uint32_t kNone = UINT32_MAX;
    struct Slot {
        HistoryEntry entry;
        size_t hash = 0;         // of entry.url
        uint32_t next = 0;       // the next slot + 1 in its bucket's chain; 0 ends it
        uint32_t block = kNone;  // its text's block,
        uint32_t region = kNone; // and its record there
        bool alive = false;
    };
    // One written text: where it stands in its block, and what ranking needs
    // of its entry, so that a scan that passes every entry reads these
    // records one after another and never the entries themselves.
    struct Region {
        uint32_t begin, end;
        uint32_t slot;
        int32_t visits;
        int64_t lastVisit;
        bool dead;
        uint8_t hostLength; // of hostStart, at most 8
        char hostStart[8];  // the folded start of the host (no scheme, no "www.")
    };
    struct TextBlock {
        std::unique_ptr<char[]> text;
        uint32_t capacity = 0, used = 0;
        uint32_t garbage = 0; // bytes of dead texts
        // Its texts, in their order in text; reserved for as many as the
        // block takes, so the list never grows by copying.
        std::vector<Region> regions;
    };
    // Bucket heads of the address table (slot + 1; 0 ends a chain).
    struct Buckets {
        struct Free {
            void operator()(uint32_t *heads) const;
        };
        std::unique_ptr<uint32_t[], Free> heads;
        size_t count = 0; // a power of two
    };

    uint32_t Lookup(std::string_view url, size_t hash) const;
    uint32_t &BucketOf(size_t hash);
    void Link(uint32_t slot);
    void Unlink(uint32_t slot);
    void MoveBuckets(size_t count);
    uint32_t NewSlot();

    void WriteText(uint32_t slot);
    void Kill(uint32_t slot);
    void KillText(const Slot &slot);
    void CompactIfWasteful(uint32_t block);
    uint32_t BlockWithRoom(size_t bytes);
    // After the entry's visits changed: its region's copy follows.
    void UpdateRegion(uint32_t slot);
    const Region &RegionOf(uint32_t slot) const
    {
        return blocks_[slots_[slot].block].regions[slots_[slot].region];
    }

    BlockArray<Slot> slots_;
    std::vector<uint32_t> freeSlots_;
    size_t live_ = 0;
    // The address table: chains of slots by hash. While it grows, the old
    // bucket array stays beside the new one and `moved_` of its buckets have
    // moved over; each change moves a few more.
    Buckets table_, old_;
    size_t moved_ = 0;
    std::vector<TextBlock> blocks_;
    uint32_t current_ = kNone; // the block new texts go to
};

// How an entry ranks: visit count weighted by how lately it was visited.
double FrecencyScore(int32_t visitCount, int64_t lastVisit, int64_t now);

} // namespace orvex
