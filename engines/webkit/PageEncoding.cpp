#include "PageEncoding.h"

#include "core/CodePage.h"

namespace orvex::webkit {

namespace {

// How the bytes past ASCII read in one encoding: the characters they make,
// the bytes that fit none, and how many characters are kana, which Japanese
// text hardly lacks and other text hardly has.
struct Reading {
    int characters = 0;
    int errors = 0;
    int kana = 0;
};

bool In(unsigned char byte, unsigned char low, unsigned char high)
{
    return byte >= low && byte <= high;
}

Reading ReadShiftJis(std::string_view bytes)
{
    Reading reading;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80)
            continue;
        ++reading.characters;
        if (In(lead, 0xA1, 0xDF)) // half-width katakana
            continue;
        if (Cp932CharLength(bytes, i) == 2) {
            const auto trail = static_cast<unsigned char>(bytes[i + 1]);
            if ((lead == 0x82 && In(trail, 0x9F, 0xF1)) || (lead == 0x83 && In(trail, 0x40, 0x96)))
                ++reading.kana;
            ++i;
        } else {
            ++reading.errors;
        }
    }
    return reading;
}

Reading ReadEucJp(const QByteArray &bytes)
{
    Reading reading;
    const auto size = bytes.size();
    auto at = [&](int i) { return static_cast<unsigned char>(i < size ? bytes[i] : 0); };
    for (int i = 0; i < size; ++i) {
        const unsigned char lead = at(i);
        if (lead < 0x80)
            continue;
        ++reading.characters;
        if (In(lead, 0xA1, 0xFE) && In(at(i + 1), 0xA1, 0xFE)) {
            if ((lead == 0xA4 && at(i + 1) <= 0xF3) || (lead == 0xA5 && at(i + 1) <= 0xF6))
                ++reading.kana;
            ++i;
        } else if (lead == 0x8E && In(at(i + 1), 0xA1, 0xDF)) { // half-width katakana
            ++i;
        } else if (lead == 0x8F && In(at(i + 1), 0xA1, 0xFE) && In(at(i + 2), 0xA1, 0xFE)) {
            i += 2;
        } else {
            ++reading.errors;
        }
    }
    return reading;
}

} // namespace

const char *EncodingFromBytes(const QByteArray &bytes)
{
    const std::string_view text(bytes.constData(), size_t(bytes.size()));
    if (IsValidUtf8(text)) {
        // ISO-2022-JP is seven-bit: its escapes into JIS X 0208 tell it.
        const bool jis = bytes.contains("\x1B$B") || bytes.contains("\x1B$@");
        return jis ? "ISO-2022-JP" : nullptr;
    }
    const Reading sjis = ReadShiftJis(text);
    const Reading euc = ReadEucJp(bytes);
    // EUC-JP text mostly reads as Shift_JIS too (as half-width katakana),
    // Shift_JIS text hardly ever as EUC-JP: an even count goes to EUC-JP.
    const bool isEuc = euc.errors <= sjis.errors;
    const Reading &best = isEuc ? euc : sjis;
    // A stray broken byte is forgiven; Latin text, whose accented letters
    // pass as double-byte characters now and then, is not Japanese.
    if (best.kana == 0 || best.errors * 50 > best.characters)
        return "windows-1252";
    return isEuc ? "EUC-JP" : "Shift_JIS";
}

} // namespace orvex::webkit
