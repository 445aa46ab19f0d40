// A plain backtracking matcher of the block-list mask syntax, written apart
// from the real one so that the two can be compared on many inputs (tests
// and the fuzz target). Time mask x text: small inputs only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::test {

// Code points of UTF-8 text; an invalid byte stands for itself as 0xDC00 + byte.
inline std::vector<uint32_t> ReferenceDecode(const std::string &text)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t extra = c >= 0xF0 && c <= 0xF4   ? 3
                             : c >= 0xE0 && c <= 0xEF ? 2
                             : c >= 0xC2 && c <= 0xDF ? 1
                                                      : 0;
        uint32_t cp = extra == 3 ? c & 7 : extra == 2 ? c & 15 : extra == 1 ? c & 31 : c;
        bool ok = c < 0x80 || (extra > 0 && text.size() - i > extra);
        for (size_t k = 1; ok && k <= extra; ++k) {
            ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const uint32_t minimum = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : extra == 1 ? 0x80 : 0;
        if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xDC00 + c);
            ++i;
        } else {
            out.push_back(cp);
            i += extra + 1;
        }
    }
    return out;
}

inline uint32_t ReferenceLower(uint32_t c)
{
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Parses the set starting at m[at] == '['; false when it is malformed. On
// success `end` is just past it and `in` tells whether c is in it.
inline bool ReferenceSet(const std::vector<uint32_t> &m, size_t at, uint32_t c, size_t &end, bool &in)
{
    size_t i = at + 1;
    const bool negated = i < m.size() && m[i] == '!';
    i += negated ? 1 : 0;
    const uint32_t variants[3] = {c, ReferenceLower(c), c >= 'a' && c <= 'z' ? c - 32 : c};
    bool found = false;
    for (;;) {
        if (i == m.size()) {
            return false;
        }
        if (m[i] == ']') {
            ++i;
            break;
        }
        const uint32_t low = m[i++];
        uint32_t high = low;
        if (i < m.size() && m[i] == '-') {
            ++i;
            if (i == m.size() || m[i] == ']') {
                return false;
            }
            high = m[i++];
        }
        for (const uint32_t v : variants) {
            found = found || (v >= low && v <= high);
        }
    }
    end = i;
    in = found != negated;
    return true;
}

inline bool ReferenceMaskValid(const std::vector<uint32_t> &m)
{
    for (size_t i = 0; i < m.size();) {
        if (m[i] != '[') {
            ++i;
            continue;
        }
        bool in = false;
        if (!ReferenceSet(m, i, 0, i, in)) {
            return false;
        }
    }
    return true;
}

// For a valid mask. Backtracking with a table of the (mask, text) positions
// already tried, so that many stars stay polynomial.
inline bool ReferenceMatchFrom(const std::vector<uint32_t> &m, size_t mi, const std::vector<uint32_t> &t,
                               size_t ti, std::vector<signed char> &memo)
{
    signed char &known = memo[mi * (t.size() + 1) + ti];
    if (known >= 0) {
        return known == 1;
    }
    bool result = false;
    if (mi == m.size()) {
        result = ti == t.size();
    } else if (m[mi] == '*') {
        for (size_t k = ti; !result && k <= t.size(); ++k) {
            result = ReferenceMatchFrom(m, mi + 1, t, k, memo);
        }
    } else if (ti < t.size()) {
        size_t next = mi + 1;
        bool fits = m[mi] == '?' || ReferenceLower(m[mi]) == ReferenceLower(t[ti]);
        if (m[mi] == '[') {
            ReferenceSet(m, mi, t[ti], next, fits);
        }
        result = fits && ReferenceMatchFrom(m, next, t, ti + 1, memo);
    }
    known = result ? 1 : 0;
    return result;
}

inline bool ReferenceMatch(const std::vector<uint32_t> &m, size_t mi, const std::vector<uint32_t> &t,
                           size_t ti)
{
    std::vector<signed char> memo((m.size() + 1) * (t.size() + 1), -1);
    return ReferenceMatchFrom(m, mi, t, ti, memo);
}

} // namespace orvex::test
