// Address masks of the pop-up block list: "*" any run of characters, "?"
// exactly one character, "[...]" one character of a set with "a-z" ranges
// and a leading "!" negating it; ASCII letters match regardless of case; the
// mask must match the whole address.
#pragma once

#include <string>

namespace orvex {

// Throws orvex::Error("<pos> 番目の文字（'<mask>'）は正しくないマスク文字です")
// for a malformed mask. Time is proportional to the lengths of address and
// mask, whatever the mask.
bool MatchesURLMask(const std::string &address, const std::string &mask);

} // namespace orvex
