// Address masks of the pop-up block list: "*" any run of characters, "?"
// exactly one character, "[...]" one character of a set with "a-z" ranges
// and a leading "!" negating it; ASCII letters match regardless of case; the
// mask must match the whole address.
#pragma once

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
class MaskList {
public:
    explicit MaskList(const std::vector<std::string> &masks);
    ~MaskList();
    MaskList(MaskList &&) noexcept;
    MaskList &operator=(MaskList &&) noexcept;

    bool MatchesAny(const std::string &address) const;

private:
    std::vector<std::unique_ptr<CompiledMask>> masks_;
    std::string error_;
};

} // namespace orvex
