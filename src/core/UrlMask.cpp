#include "core/UrlMask.h"

#include "core/CodePage.h"
#include "core/Errors.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
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
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        out.push_back(DecodeUtf8At(text, i).value_or(0xDC00 + lead));
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

} // namespace

// The mask as star-free pieces, each matching a fixed number of characters.
struct CompiledMask {
    std::vector<Token> tokens;
    std::vector<CharSet> sets;

    struct Piece {
        size_t first = 0; // tokens[first, first + length)
        size_t length = 0;
        bool plain = true;           // literals only: found by failure links
        std::vector<size_t> failure; // plain: longest border of each prefix
        size_t words = 0;            // otherwise: bit-parallel automaton
        std::vector<uint64_t> ascii; // 128 x words: tokens each ASCII character fits
        mutable std::unordered_map<uint32_t, std::vector<uint64_t>> other; // the same, met so far
    };
    bool hasStar = false;
    std::vector<Piece> pieces; // with a star: the piece before the first star, the middle ones, the last

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

    template <class Text> bool MatchesAt(const Piece &piece, const Text &text, size_t at) const
    {
        for (size_t k = 0; k < piece.length; ++k) {
            if (!MatchesOne(tokens[piece.first + k], text[at + k])) {
                return false;
            }
        }
        return true;
    }

    void Prepare(Piece &piece) const
    {
        for (size_t k = 0; k < piece.length; ++k) {
            piece.plain = piece.plain && tokens[piece.first + k].kind == Token::Literal;
        }
        if (piece.plain) {
            piece.failure.assign(piece.length + 1, 0);
            size_t border = 0;
            for (size_t k = 1; k < piece.length; ++k) {
                while (border > 0 &&
                       tokens[piece.first + k].literal != tokens[piece.first + border].literal) {
                    border = piece.failure[border];
                }
                if (tokens[piece.first + k].literal == tokens[piece.first + border].literal) {
                    ++border;
                }
                piece.failure[k + 1] = border;
            }
            return;
        }
        piece.words = (piece.length + 63) / 64;
        piece.ascii.assign(128 * piece.words, 0);
        for (size_t k = 0; k < piece.length; ++k) {
            const Token &token = tokens[piece.first + k];
            if (token.kind == Token::Literal) {
                if (token.literal < 128) {
                    piece.ascii[token.literal * piece.words + k / 64] |= uint64_t{1} << (k % 64);
                    if (UpperAscii(token.literal) != token.literal) {
                        piece.ascii[UpperAscii(token.literal) * piece.words + k / 64] |= uint64_t{1}
                                                                                         << (k % 64);
                    }
                }
                continue;
            }
            for (uint32_t c = 0; c < 128; ++c) {
                if (MatchesOne(token, c)) {
                    piece.ascii[c * piece.words + k / 64] |= uint64_t{1} << (k % 64);
                }
            }
        }
    }

    // The bits of the tokens of `piece` that character c fits.
    const uint64_t *Bits(const Piece &piece, uint32_t c, std::vector<uint64_t> &scratch) const
    {
        if (c < 128) {
            return &piece.ascii[c * piece.words];
        }
        const auto found = piece.other.find(c);
        if (found != piece.other.end()) {
            return found->second.data();
        }
        scratch.assign(piece.words, 0);
        for (size_t k = 0; k < piece.length; ++k) {
            if (MatchesOne(tokens[piece.first + k], c)) {
                scratch[k / 64] |= uint64_t{1} << (k % 64);
            }
        }
        // Kept for the next time up to a bounded size.
        if (piece.other.size() * piece.words < (1u << 20)) {
            return piece.other.emplace(c, scratch).first->second.data();
        }
        return scratch.data();
    }

    // The leftmost place in [from, end) where `piece` matches whole, or SIZE_MAX.
    template <class Text> size_t Find(const Piece &piece, const Text &text, size_t from, size_t end) const
    {
        if (end < from || end - from < piece.length) {
            return SIZE_MAX;
        }
        if (piece.plain) {
            size_t matched = 0;
            for (size_t i = from; i < end; ++i) {
                const uint32_t c = LowerAscii(text[i]);
                while (matched > 0 && tokens[piece.first + matched].literal != c) {
                    matched = piece.failure[matched];
                }
                if (tokens[piece.first + matched].literal == c) {
                    ++matched;
                }
                if (matched == piece.length) {
                    return i + 1 - piece.length;
                }
            }
            return SIZE_MAX;
        }
        // The state lives on the stack when it fits (pieces up to 4096
        // characters), away from the heap rows it is combined with.
        uint64_t local[64] = {};
        std::vector<uint64_t> stateWords(piece.words > 64 ? piece.words : 0, 0);
        std::vector<uint64_t> scratch;
        uint64_t *__restrict state = piece.words > 64 ? stateWords.data() : local;
        const size_t words = piece.words;
        const size_t last = piece.length - 1;
        const uint64_t lastBit = uint64_t{1} << (last % 64);
        for (size_t i = from; i < end; ++i) {
            const uint64_t *__restrict bits = Bits(piece, text[i], scratch);
            uint64_t carry = 1; // a match may start at every character
            for (size_t w = 0; w < words; ++w) {
                const uint64_t word = state[w];
                state[w] = ((word << 1) | carry) & bits[w];
                carry = word >> 63;
            }
            if (state[last / 64] & lastBit) {
                return i + 1 - piece.length;
            }
        }
        return SIZE_MAX;
    }

    template <class Text> bool Matches(const Text &text) const
    {
        const size_t n = text.size();
        if (!hasStar) {
            return n == tokens.size() && (pieces.empty() || MatchesAt(pieces.front(), text, 0));
        }
        const Piece &head = pieces.front();
        const Piece &tail = pieces.back();
        if (head.length + tail.length > n || !MatchesAt(head, text, 0) ||
            !MatchesAt(tail, text, n - tail.length)) {
            return false;
        }
        // Each middle piece leftmost after the one before: a later match of
        // a piece never leaves more room for the rest.
        size_t at = head.length;
        const size_t end = n - tail.length;
        for (size_t p = 1; p + 1 < pieces.size(); ++p) {
            const size_t found = Find(pieces[p], text, at, end);
            if (found == SIZE_MAX) {
                return false;
            }
            at = found + pieces[p].length;
        }
        return true;
    }
};

namespace {

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
    // Pieces: with a star, the (possibly empty) piece before the first star,
    // one per stretch between stars, and the (possibly empty) last one.
    CompiledMask::Piece piece;
    for (size_t k = 0; k <= compiled.tokens.size(); ++k) {
        if (k == compiled.tokens.size() || compiled.tokens[k].kind == Token::Star) {
            piece.length = k - piece.first;
            compiled.pieces.push_back(std::move(piece));
            piece = CompiledMask::Piece();
            piece.first = k + 1;
            compiled.hasStar = compiled.hasStar || k < compiled.tokens.size();
        }
    }
    for (CompiledMask::Piece &each : compiled.pieces) {
        compiled.Prepare(each);
    }
    return compiled;
}

} // namespace

namespace {

// An address of ASCII only is matched on its bytes, with no decoding.
struct AsciiText {
    std::string_view bytes;
    size_t size() const { return bytes.size(); }
    uint32_t operator[](size_t i) const { return static_cast<unsigned char>(bytes[i]); }
};

bool IsAscii(const std::string &text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool Matches(const CompiledMask &mask, const std::string &address)
{
    return IsAscii(address) ? mask.Matches(AsciiText{address}) : mask.Matches(DecodeUtf8(address));
}

} // namespace

bool MatchesURLMask(const std::string &address, const std::string &mask)
{
    return Matches(Compile(mask), address);
}

namespace {

// Window lengths a mask can be filed under: longer windows are rarer, and
// few lengths keep a check to few look-ups per character.
constexpr uint32_t kWindowLengths[] = {16, 12, 8, 6, 4, 3, 2, 1};
constexpr uint64_t kHashBase = 0x100000001B3ull;

uint64_t Mix(uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x == 0 ? 1 : x;
}

// Prefix hashes of folded characters, so that any window's hash is two
// multiplications away.
struct WindowHashes {
    std::vector<uint64_t> prefix{0};
    std::vector<uint64_t> power{1};

    void Reset() { prefix.resize(1); }
    void Add(uint32_t c)
    {
        prefix.push_back(prefix.back() * kHashBase + c + 1);
        while (power.size() < prefix.size()) {
            power.push_back(power.back() * kHashBase);
        }
    }
    size_t size() const { return prefix.size() - 1; }
    uint64_t Key(size_t at, uint32_t length) const
    {
        return Mix(prefix[at + length] - prefix[at] * power[length] + length * 0x9E3779B97F4A7C15ull);
    }
};

uint32_t WindowFor(size_t runLength)
{
    for (const uint32_t length : kWindowLengths) {
        if (length <= runLength) {
            return length;
        }
    }
    return 0;
}

// The runs of plain characters of a mask, folded as the matcher folds them,
// as [begin, end) positions into `chars`.
void PlainRuns(const std::string &mask, bool hasSet, std::vector<uint32_t> &chars,
               std::vector<std::pair<size_t, size_t>> &runs)
{
    chars.clear();
    runs.clear();
    size_t begin = 0;
    const auto cut = [&] {
        if (chars.size() > begin) {
            runs.emplace_back(begin, chars.size());
        }
    };
    if (hasSet) {
        // Only the compiler knows where a set ends.
        const CompiledMask compiled = Compile(mask);
        for (const Token &token : compiled.tokens) {
            if (token.kind == Token::Literal) {
                chars.push_back(token.literal);
                continue;
            }
            cut();
            chars.push_back(0); // a break, never looked at
            begin = chars.size();
        }
        cut();
        return;
    }
    size_t i = 0;
    while (i < mask.size()) {
        const auto lead = static_cast<unsigned char>(mask[i]);
        const uint32_t c = lead < 0x80 ? mask[i++] : DecodeUtf8At(mask, i).value_or(0xDC00 + lead);
        if (c == '*' || c == '?') {
            cut();
            chars.push_back(0);
            begin = chars.size();
        } else {
            chars.push_back(LowerAscii(c));
        }
    }
    cut();
}

} // namespace

MaskList::MaskList(const std::vector<std::string> &masks)
{
    size_t bytes = 0;
    for (const std::string &mask : masks) {
        bytes += mask.size();
    }
    text_.reserve(bytes);
    offsets_.reserve(masks.size() + 1);
    offsets_.push_back(0);

    // Each mask goes to the candidate window whose bucket is smallest so far
    // (counted by slot: a shared slot only makes the choice a little worse).
    size_t countSlots = 1024;
    while (countSlots < masks.size()) {
        countSlots *= 2;
    }
    std::vector<uint16_t> counts(countSlots, 0);
    std::vector<std::pair<uint64_t, uint32_t>> filed; // key, mask
    filed.reserve(masks.size());
    std::vector<uint32_t> chars;
    std::vector<std::pair<size_t, size_t>> runs;
    WindowHashes hashes;
    for (const std::string &mask : masks) {
        const auto index = static_cast<uint32_t>(offsets_.size() - 1);
        const bool hasSet = mask.find('[') != std::string::npos;
        try {
            PlainRuns(mask, hasSet, chars, runs);
        } catch (const Error &error) {
            error_ = error.what();
            return;
        }
        text_ += mask;
        offsets_.push_back(static_cast<uint32_t>(text_.size()));
        if (runs.empty()) {
            always_.push_back(index);
            continue;
        }
        hashes.Reset();
        for (const uint32_t c : chars) {
            hashes.Add(c);
        }
        uint64_t best = 0;
        uint32_t bestCount = UINT32_MAX;
        uint32_t bestLength = 0;
        for (const auto &[begin, end] : runs) {
            const uint32_t length = WindowFor(end - begin);
            for (const size_t at : {begin, end - length}) {
                const uint64_t key = hashes.Key(at, length);
                const uint32_t count = counts[key & (countSlots - 1)];
                if (count < bestCount || (count == bestCount && length > bestLength)) {
                    best = key;
                    bestCount = count;
                    bestLength = length;
                }
            }
        }
        uint16_t &count = counts[best & (countSlots - 1)];
        count += count < UINT16_MAX;
        lengths_ |= 1u << bestLength;
        filed.emplace_back(best, index);
    }
    counts = std::vector<uint16_t>();

    std::sort(filed.begin(), filed.end());
    size_t keys = 0;
    for (size_t i = 0; i < filed.size(); ++i) {
        keys += i == 0 || filed[i].first != filed[i - 1].first;
    }
    size_t capacity = 16;
    while (capacity < keys * 2) {
        capacity *= 2;
    }
    table_.assign(capacity, Bucket{});
    seen_.assign(std::max<size_t>(capacity / 16, 64), 0);
    filed_.reserve(filed.size());
    for (size_t i = 0; i < filed.size();) {
        const uint64_t key = filed[i].first;
        size_t slot = key & (capacity - 1);
        while (table_[slot].key != 0) {
            slot = (slot + 1) & (capacity - 1);
        }
        table_[slot] = Bucket{key, static_cast<uint32_t>(filed_.size()), 0};
        for (; i < filed.size() && filed[i].first == key; ++i) {
            filed_.push_back(filed[i].second);
            ++table_[slot].count;
        }
        const uint64_t bit = (key >> 20) % (seen_.size() * 64);
        seen_[bit / 64] |= uint64_t{1} << (bit % 64);
    }
}

MaskList::~MaskList() = default;

const MaskList::Bucket *MaskList::Find(uint64_t key) const
{
    const uint64_t bit = (key >> 20) % (seen_.size() * 64);
    if ((seen_[bit / 64] & (uint64_t{1} << (bit % 64))) == 0) {
        return nullptr;
    }
    const size_t mask = table_.size() - 1;
    for (size_t slot = key & mask;; slot = (slot + 1) & mask) {
        if (table_[slot].key == key) {
            return &table_[slot];
        }
        if (table_[slot].key == 0) {
            return nullptr;
        }
    }
}

bool MaskList::MatchesMask(uint32_t index, const std::string &address) const
{
    const std::string mask = text_.substr(offsets_[index], offsets_[index + 1] - offsets_[index]);
    return Matches(Compile(mask), address);
}

bool MaskList::MatchesAny(const std::string &address) const
{
    if (!error_.empty()) {
        throw Error(error_);
    }
    for (const uint32_t index : always_) {
        if (MatchesMask(index, address)) {
            return true;
        }
    }
    if (filed_.empty()) {
        return false;
    }
    WindowHashes hashes;
    for (size_t i = 0; i < address.size();) {
        const auto lead = static_cast<unsigned char>(address[i]);
        hashes.Add(LowerAscii(lead < 0x80 ? address[i++] : DecodeUtf8At(address, i).value_or(0xDC00 + lead)));
    }
    // Every bucket a window of the address names, each once.
    std::vector<const Bucket *> buckets;
    for (const uint32_t length : kWindowLengths) {
        if ((lengths_ & (1u << length)) == 0 || hashes.size() < length) {
            continue;
        }
        for (size_t at = 0; at + length <= hashes.size(); ++at) {
            if (const Bucket *bucket = Find(hashes.Key(at, length))) {
                buckets.push_back(bucket);
            }
        }
    }
    std::sort(buckets.begin(), buckets.end());
    buckets.erase(std::unique(buckets.begin(), buckets.end()), buckets.end());
    for (const Bucket *bucket : buckets) {
        for (uint32_t k = 0; k < bucket->count; ++k) {
            if (MatchesMask(filed_[bucket->start + k], address)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace orvex
