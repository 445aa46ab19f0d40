#include "browser/UrlMask.h"

#include "platform/Errors.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace orvex {

namespace {

// Decodes UTF-8 into code points. A byte that does not start a valid
// sequence stands for itself as U+DC00 + byte, which no valid text yields.
std::vector<uint32_t> DecodeUtf8(const std::string &text)
{
    std::vector<uint32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = lead;
        uint32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
            minimum = 0x10000;
        } else if (lead >= 0x80) {
            out.push_back(0xDC00 + lead);
            ++i;
            continue;
        }
        bool valid = n - i > extra;
        for (size_t k = 1; valid && k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            valid = (t & 0xC0) == 0x80;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (!valid || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xDC00 + lead);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

uint32_t LowerAscii(uint32_t c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}
uint32_t UpperAscii(uint32_t c)
{
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

struct CharSet {
    bool negated = false;
    std::vector<std::pair<uint32_t, uint32_t>> ranges; // inclusive; lo > hi is empty

    bool Holds(uint32_t c) const
    {
        for (const auto &range : ranges) {
            if (c >= range.first && c <= range.second) {
                return true;
            }
        }
        return false;
    }

    bool Matches(uint32_t c) const
    {
        const bool inSet = Holds(c) || Holds(LowerAscii(c)) || Holds(UpperAscii(c));
        return inSet != negated;
    }
};

struct Token {
    enum Kind { Literal, AnyChar, Set, Star } kind;
    uint32_t literal = 0; // folded, for Literal
    size_t set = 0;       // index into the mask's sets, for Set
};

struct CompiledMask {
    std::vector<Token> tokens;
    std::vector<CharSet> sets;

    // Every token but a star takes exactly one character.
    bool MatchesOne(const Token &token, uint32_t c) const
    {
        switch (token.kind) {
        case Token::Literal:
            return LowerAscii(c) == token.literal;
        case Token::AnyChar:
            return true;
        case Token::Set:
            return sets[token.set].Matches(c);
        case Token::Star:
            break;
        }
        return false;
    }
};

[[noreturn]] void ThrowInvalidMask(const std::string &mask, size_t position)
{
    // Assembled from the pattern's pieces, so a mask holding "%1:d" stays as it is.
    const std::string pattern = msg::InvalidMask;
    const size_t posAt = pattern.find("%1:d");
    const size_t maskAt = pattern.find("%0:s");
    std::string text = pattern.substr(0, posAt) + std::to_string(position) +
                       pattern.substr(posAt + 4, maskAt - posAt - 4) + mask + pattern.substr(maskAt + 4);
    throw Error(text);
}

CompiledMask Compile(const std::string &mask)
{
    const std::vector<uint32_t> chars = DecodeUtf8(mask);
    CompiledMask compiled;
    const size_t n = chars.size();
    size_t i = 0;
    while (i < n) {
        const uint32_t c = chars[i];
        if (c == '*') {
            // A run of stars means the same as one.
            if (compiled.tokens.empty() || compiled.tokens.back().kind != Token::Star) {
                compiled.tokens.push_back(Token{Token::Star});
            }
            ++i;
        } else if (c == '?') {
            compiled.tokens.push_back(Token{Token::AnyChar});
            ++i;
        } else if (c == '[') {
            const size_t open = i;
            CharSet set;
            ++i;
            if (i < n && chars[i] == '!') {
                set.negated = true;
                ++i;
            }
            for (;;) {
                if (i == n) {
                    ThrowInvalidMask(mask, open + 1); // the set is never closed
                }
                if (chars[i] == ']') {
                    ++i;
                    break;
                }
                const uint32_t low = chars[i++];
                uint32_t high = low;
                if (i < n && chars[i] == '-') {
                    ++i;
                    if (i == n) {
                        ThrowInvalidMask(mask, open + 1);
                    }
                    if (chars[i] == ']') {
                        ThrowInvalidMask(mask, i + 1); // a range without its end
                    }
                    high = chars[i++];
                }
                set.ranges.emplace_back(low, high);
            }
            Token token{Token::Set};
            token.set = compiled.sets.size();
            compiled.sets.push_back(std::move(set));
            compiled.tokens.push_back(token);
        } else {
            Token token{Token::Literal};
            token.literal = LowerAscii(c);
            compiled.tokens.push_back(token);
            ++i;
        }
    }
    return compiled;
}

} // namespace

bool MatchesURLMask(const std::string &address, const std::string &mask)
{
    const CompiledMask compiled = Compile(mask);
    const std::vector<uint32_t> text = DecodeUtf8(address);
    const std::vector<Token> &tokens = compiled.tokens;

    // Greedy matching that remembers only the last star: when a later part
    // fails, that star takes one more character and the part is tried again.
    // Earlier stars never need revisiting, because every other token takes
    // exactly one character; so the work is at most characters x tokens.
    size_t t = 0;
    size_t p = 0;
    size_t afterStar = SIZE_MAX;
    size_t starText = 0;
    while (t < text.size()) {
        if (p < tokens.size() && tokens[p].kind == Token::Star) {
            afterStar = ++p;
            starText = t;
        } else if (p < tokens.size() && compiled.MatchesOne(tokens[p], text[t])) {
            ++p;
            ++t;
        } else if (afterStar != SIZE_MAX) {
            p = afterStar;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == Token::Star) {
        ++p;
    }
    return p == tokens.size();
}

} // namespace orvex
