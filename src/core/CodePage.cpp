#include "core/CodePage.h"

#include <cstdint>
#include <iconv.h>
#include <vector>

namespace orvex {

namespace {

constexpr char kCodePage[] = "CP932";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsTrail(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// One character through iconv; false when iconv does not take it whole.
bool ConvertOne(iconv_t cd, const char *in, size_t inLength, char *out, size_t &outLength)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *inPtr = const_cast<char *>(in);
    char *outPtr = out;
    size_t outLeft = outLength;
    if (iconv(cd, &inPtr, &inLength, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLength != 0) {
        return false;
    }
    outLength = outLength - outLeft;
    return true;
}

// The code page as two tables, taken once from the C library's iconv: the
// character of every CP932 code, and the CP932 code of every BMP character
// that reads back as itself (0 where there is none).
struct Cp932Tables {
    std::vector<uint16_t> decode; // code (byte, or lead << 8 | trail) -> character, 0xFFFD undefined
    std::vector<uint16_t> encode; // character -> code (< 0x100 one byte), 0 none

    Cp932Tables() : decode(0x10000, 0xFFFD), encode(0x10000, 0)
    {
        for (uint32_t c = 0; c < 0x80; ++c) {
            decode[c] = static_cast<uint16_t>(c);
        }
        const iconv_t toUtf8 = iconv_open("UTF-8", kCodePage);
        const iconv_t fromUtf8 = iconv_open(kCodePage, "UTF-8");
        if (toUtf8 == reinterpret_cast<iconv_t>(-1) || fromUtf8 == reinterpret_cast<iconv_t>(-1)) {
            for (uint32_t c = 0; c < 0x80; ++c) {
                encode[c] = static_cast<uint16_t>(c);
            }
            return;
        }
        const auto learn = [&](uint16_t code, const char *bytes, size_t length) {
            char utf8[8];
            size_t utf8Length = sizeof utf8;
            if (!ConvertOne(toUtf8, bytes, length, utf8, utf8Length)) {
                return;
            }
            size_t at = 0;
            const std::optional<char32_t> cp = DecodeUtf8At(std::string_view(utf8, utf8Length), at);
            if (cp && at == utf8Length && *cp < 0x10000 && *cp != 0xFFFD) {
                decode[code] = static_cast<uint16_t>(*cp);
            }
        };
        for (uint32_t c = 0x80; c < 0x100; ++c) {
            if (!IsLead(static_cast<unsigned char>(c))) {
                const char byte = static_cast<char>(c);
                learn(static_cast<uint16_t>(c), &byte, 1);
            }
        }
        for (uint32_t lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLead(static_cast<unsigned char>(lead))) {
                continue;
            }
            for (uint32_t trail = 0x40; trail <= 0xFC; ++trail) {
                if (IsTrail(static_cast<unsigned char>(trail))) {
                    const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                    learn(static_cast<uint16_t>(lead << 8 | trail), bytes, 2);
                }
            }
        }
        // The code iconv gives each character, kept only when it reads back
        // as that same character.
        for (uint32_t code = 0; code < 0x10000; ++code) {
            const uint32_t cp = decode[code];
            if (cp == 0xFFFD || encode[cp] != 0 ||
                (code >= 0x100 && !IsLead(static_cast<unsigned char>(code >> 8)))) {
                continue;
            }
            if (cp < 0x80) {
                encode[cp] = static_cast<uint16_t>(cp);
                continue;
            }
            std::string utf8;
            AppendUtf8(utf8, cp);
            char out[4];
            size_t outLength = sizeof out;
            if (!ConvertOne(fromUtf8, utf8.data(), utf8.size(), out, outLength) || outLength == 0 ||
                outLength > 2) {
                continue;
            }
            const uint16_t back = outLength == 1
                                      ? static_cast<unsigned char>(out[0])
                                      : static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                                              static_cast<unsigned char>(out[1]));
            if (decode[back] == cp) {
                encode[cp] = back;
            }
        }
        iconv_close(toUtf8);
        iconv_close(fromUtf8);
    }
};

const Cp932Tables &Tables()
{
    static const Cp932Tables tables;
    return tables;
}

bool IsAscii(std::string_view bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// CP932 bytes to UTF-8. An undefined character ends a strict decoding with
// nullopt; otherwise it becomes U+FFFD (a lone lead byte is undefined: the
// code of a lead byte alone is never learnt).
std::optional<std::string> DecodeCp932(std::string_view bytes, bool strict)
{
    if (IsAscii(bytes)) {
        return std::string(bytes);
    }
    const Cp932Tables &tables = Tables();
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t length = Cp932CharLength(bytes, i);
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const uint16_t code =
            length == 1 ? lead : static_cast<uint16_t>(lead << 8 | static_cast<unsigned char>(bytes[i + 1]));
        if (strict && tables.decode[code] == 0xFFFD) {
            return std::nullopt;
        }
        AppendUtf8(out, tables.decode[code]);
        i += length;
    }
    return out;
}

} // namespace

std::optional<char32_t> DecodeUtf8At(std::string_view text, size_t &at)
{
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
        ++at;
        return c;
    }
    size_t extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        extra = 1;
        cp = c & 0x1F;
        minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        extra = 2;
        cp = c & 0x0F;
        minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        extra = 3;
        cp = c & 0x07;
        minimum = 0x10000;
    }
    bool valid = extra > 0 && text.size() - at > extra;
    for (size_t k = 1; valid && k <= extra; ++k) {
        const auto t = static_cast<unsigned char>(text[at + k]);
        valid = (t & 0xC0) == 0x80;
        cp = (cp << 6) | (t & 0x3F);
    }
    if (!valid || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++at;
        return std::nullopt;
    }
    at += extra + 1;
    return cp;
}

void AppendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
        } else if (!DecodeUtf8At(bytes, i)) {
            return false;
        }
    }
    return true;
}

size_t Cp932CharLength(std::string_view bytes, size_t at)
{
    return at + 1 < bytes.size() && IsLead(static_cast<unsigned char>(bytes[at])) &&
                   IsTrail(static_cast<unsigned char>(bytes[at + 1]))
               ? 2
               : 1;
}

std::optional<std::string> Cp932ToUtf8Exact(std::string_view bytes)
{
    return DecodeCp932(bytes, true);
}

std::string Cp932ToUtf8(std::string_view bytes)
{
    return *DecodeCp932(bytes, false);
}

std::optional<std::string> EncodeCp932(std::string_view utf8, Unencodable fallback)
{
    if (IsAscii(utf8)) {
        return std::string(utf8);
    }
    const Cp932Tables &tables = Tables();
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const std::optional<char32_t> cp = DecodeUtf8At(utf8, i);
        if (!cp) {
            return std::nullopt;
        }
        const uint16_t code = *cp < 0x10000 ? tables.encode[*cp] : 0;
        if (code != 0 || *cp == 0) {
            if (code >= 0x100) {
                out += static_cast<char>(code >> 8);
            }
            out += static_cast<char>(code & 0xFF);
        } else if (fallback == Unencodable::CharacterRef) {
            out += "&#" + std::to_string(static_cast<uint32_t>(*cp)) + ";";
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8)
{
    return EncodeCp932(utf8, Unencodable::Fail);
}

std::string DecodeFileText(std::string_view bytes)
{
    if (bytes.substr(0, kBom.size()) == kBom) {
        // Marked as UTF-8: a sequence that is not UTF-8 after all becomes
        // U+FFFD, one per byte, so that the text in memory is always UTF-8.
        bytes.remove_prefix(kBom.size());
        if (IsValidUtf8(bytes)) {
            return std::string(bytes);
        }
        std::string text;
        text.reserve(bytes.size());
        size_t i = 0;
        while (i < bytes.size()) {
            AppendUtf8(text, DecodeUtf8At(bytes, i).value_or(0xFFFD));
        }
        return text;
    }
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return Cp932ToUtf8(bytes);
}

bool DecodesWithoutLoss(std::string_view bytes)
{
    if (bytes.substr(0, kBom.size()) == kBom) {
        return IsValidUtf8(bytes.substr(kBom.size()));
    }
    return IsValidUtf8(bytes) || Cp932ToUtf8Exact(bytes).has_value();
}

std::string EncodeFileText(std::string_view utf8)
{
    // CP932 text that also reads as valid UTF-8 (half-width katakana can)
    // would be misread by DecodeFileText, so it goes out as UTF-8 with a mark.
    std::optional<std::string> encoded = Utf8ToCp932(utf8);
    if (encoded && (IsAscii(*encoded) || !IsValidUtf8(*encoded))) {
        return std::move(*encoded);
    }
    std::string marked(kBom);
    marked.append(utf8);
    return marked;
}

} // namespace orvex
