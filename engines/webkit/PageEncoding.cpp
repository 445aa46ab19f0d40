#include "PageEncoding.h"

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

Reading ReadShiftJis(const QByteArray &bytes)
{
    Reading reading;
    const auto size = bytes.size();
    for (int i = 0; i < size; ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80)
            continue;
        ++reading.characters;
        if (In(lead, 0xA1, 0xDF)) // half-width katakana
            continue;
        const auto trail = static_cast<unsigned char>(i + 1 < size ? bytes[i + 1] : 0);
        if ((In(lead, 0x81, 0x9F) || In(lead, 0xE0, 0xFC)) &&
            (In(trail, 0x40, 0x7E) || In(trail, 0x80, 0xFC))) {
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

// Strict UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool IsUtf8(const QByteArray &bytes)
{
    const auto size = bytes.size();
    for (int i = 0; i < size;) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int length = 0;
        unsigned char low = 0x80, high = 0xBF; // the second byte's range
        if (lead < 0x80)
            length = 1;
        else if (In(lead, 0xC2, 0xDF))
            length = 2;
        else if (In(lead, 0xE0, 0xEF)) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (In(lead, 0xF0, 0xF4)) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else
            return false;
        if (i + length > size)
            return false;
        for (int k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(bytes[i + k]);
            if (k == 1 ? !In(byte, low, high) : !In(byte, 0x80, 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

const char *EncodingFromBytes(const QByteArray &bytes)
{
    if (IsUtf8(bytes)) {
        // ISO-2022-JP is seven-bit: its escapes into JIS X 0208 tell it.
        const bool jis = bytes.contains("\x1B$B") || bytes.contains("\x1B$@");
        return jis ? "ISO-2022-JP" : nullptr;
    }
    const Reading sjis = ReadShiftJis(bytes);
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
