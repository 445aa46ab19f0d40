// Address masks of the pop-up block list: "*" any run of characters, "?"
// exactly one character, "[...]" one character of a set with "a-z" ranges
// and a leading "!" negating it; ASCII letters match regardless of case; the
// mask must match the whole address.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvex {

struct CompiledMask;

// Throws orvex::Error("<pos> 番目の文字（'<mask>'）は正しくないマスク文字です")
// for a malformed mask. The mask is cut at its stars into pieces, and each
// piece is found leftmost after the one before. A piece of plain characters
// is found in time proportional to the text it passes over; a piece holding
// "?" or a set is run as a bit-parallel automaton, one machine word per 64
// characters of that piece. So matching takes time proportional to address
// plus mask for every mask whose "?"/set pieces are up to 64 characters long
// (any real block-list line), and address x (piece length / 64) beyond that.
bool MatchesURLMask(const std::string &address, const std::string &mask);

// A block list compiled once and matched many times. A malformed line makes
// every match throw that line's error (the first such line in list order),
// as matching line by line would.
//
// A check does not try every mask: each mask is filed under one run of
// plain characters that any address it matches must contain (a window of
// 1 to 16 characters, the one shared with the fewest other masks), and a
// check looks up every such window of the address, then matches only the
// masks filed there and those with no plain character at all. So a check
// costs about the address length times the few window lengths in use, plus
// the candidates; a list of a million masks takes tens of bytes per mask.
class MaskList {
public:
    explicit MaskList(const std::vector<std::string> &masks);
    ~MaskList();
    MaskList(const MaskList &) = delete;
    MaskList &operator=(const MaskList &) = delete;

    bool MatchesAny(const std::string &address) const;

private:
    struct Bucket {
        uint64_t key = 0; // 0: empty slot
        uint32_t start = 0;
        uint32_t count = 0;
    };
    const Bucket *Find(uint64_t key) const;
    bool MatchesMask(uint32_t index, const std::string &address) const;

    std::string text_;              // every mask, one after the other
    std::vector<uint32_t> offsets_; // mask i is text_[offsets_[i], offsets_[i + 1])
    std::vector<Bucket> table_;     // open addressing on the window's key
    std::vector<uint32_t> filed_;   // the masks of each bucket, bucket after bucket
    std::vector<uint64_t> seen_;    // one bit per key hash: most windows stop here
    std::vector<uint32_t> always_;  // masks without a plain character
    uint32_t lengths_ = 0;          // bit k: some mask is filed under a window of k characters
    std::string error_;
};

} // namespace orvex
