#include "platform/CodePage.h"

#include <cstdint>
#include <cstdio>
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

uint32_t DecodeUtf8At(std::string_view utf8, size_t &i);

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
            const uint32_t cp = DecodeUtf8At(std::string_view(utf8, utf8Length), at);
            if (at == utf8Length && cp < 0x10000 && cp != 0xFFFD) {
                decode[code] = static_cast<uint16_t>(cp);
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
            char utf8[4];
            size_t utf8Length = cp < 0x800 ? 2 : 3;
            if (cp < 0x800) {
                utf8[0] = static_cast<char>(0xC0 | (cp >> 6));
                utf8[1] = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                utf8[0] = static_cast<char>(0xE0 | (cp >> 12));
                utf8[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                utf8[2] = static_cast<char>(0x80 | (cp & 0x3F));
            }
            char out[4];
            size_t outLength = sizeof out;
            if (!ConvertOne(fromUtf8, utf8, utf8Length, out, outLength) || outLength == 0 || outLength > 2) {
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

// Decodes the UTF-8 character at `i` and moves past it; an invalid sequence
// gives 0xFFFFFFFF and moves one byte.
uint32_t DecodeUtf8At(std::string_view utf8, size_t &i)
{
    const size_t n = utf8.size();
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    size_t extra = 0;
    uint32_t cp = 0;
    uint32_t minimum = 0;
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
    } else {
        ++i;
        return 0xFFFFFFFF;
    }
    if (n - i <= extra) {
        ++i;
        return 0xFFFFFFFF;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const auto t = static_cast<unsigned char>(utf8[i + k]);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return 0xFFFFFFFF;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFFFFFF;
    }
    i += extra + 1;
    return cp;
}

void AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
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

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
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

bool Cp932ToUtf8Exact(std::string_view bytes, std::string &out)
{
    out.clear();
    if (IsAscii(bytes)) {
        out.assign(bytes);
        return true;
    }
    const Cp932Tables &tables = Tables();
    out.reserve(bytes.size() * 3 / 2);
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t length = Cp932CharLength(bytes, i);
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const uint16_t code =
            length == 1 ? lead : static_cast<uint16_t>(lead << 8 | static_cast<unsigned char>(bytes[i + 1]));
        if (tables.decode[code] == 0xFFFD) {
            return false;
        }
        AppendUtf8(out, tables.decode[code]);
        i += length;
    }
    return true;
}

std::string Cp932ToUtf8(std::string_view bytes)
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
        // A lone lead byte is undefined: code < 0x100 of a lead is never learnt.
        AppendUtf8(out, tables.decode[code]);
        i += length;
    }
    return out;
}

bool EncodeCp932(std::string_view utf8, std::string &out, Unencodable fallback)
{
    out.clear();
    if (IsAscii(utf8)) {
        out.assign(utf8);
        return true;
    }
    const Cp932Tables &tables = Tables();
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const uint32_t cp = DecodeUtf8At(utf8, i);
        if (cp == 0xFFFFFFFF) {
            return false;
        }
        const uint16_t code = cp < 0x10000 ? tables.encode[cp] : 0;
        if (code != 0 || cp == 0) {
            if (code >= 0x100) {
                out += static_cast<char>(code >> 8);
            }
            out += static_cast<char>(code & 0xFF);
        } else if (fallback == Unencodable::CharacterRef) {
            char reference[16];
            std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(cp));
            out += reference;
        } else {
            return false;
        }
    }
    return true;
}

bool Utf8ToCp932(std::string_view utf8, std::string &out)
{
    return EncodeCp932(utf8, out, Unencodable::Fail);
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
            const size_t start = i;
            if (DecodeUtf8At(bytes, i) == 0xFFFFFFFF) {
                text += "\xEF\xBF\xBD";
            } else {
                text.append(bytes, start, i - start);
            }
        }
        return text;
    }
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return Cp932ToUtf8(bytes);
}

std::string EncodeFileText(std::string_view utf8)
{
    std::string encoded;
    // CP932 text that also reads as valid UTF-8 (half-width katakana can)
    // would be misread by DecodeFileText, so it goes out as UTF-8 with a mark.
    if (Utf8ToCp932(utf8, encoded) && (IsAscii(encoded) || !IsValidUtf8(encoded))) {
        return encoded;
    }
    std::string marked(kBom);
    marked.append(utf8);
    return marked;
}

} // namespace orvex
