#include "core/Errors.h"

#include <cstdint>

namespace orvex {

namespace {

// The code point of the last character of UTF-8 text. A broken sequence at
// the end counts as its last byte, which is above "." either way.
uint32_t LastCodePoint(const std::string &text)
{
    size_t start = text.size() - 1;
    // Step back over continuation bytes, at most three of them.
    while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    const auto lead = static_cast<unsigned char>(text[start]);
    const size_t length = text.size() - start;
    size_t expected = 0;
    uint32_t cp = 0;
    if (lead < 0x80) {
        expected = 1;
        cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        expected = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        expected = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        expected = 4;
        cp = lead & 0x07;
    }
    if (expected != length) {
        return static_cast<unsigned char>(text.back());
    }
    for (size_t i = start + 1; i < text.size(); ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    return cp;
}

} // namespace

std::string ErrorBoxText(const std::string &message)
{
    if (message.empty() || LastCodePoint(message) <= '.') {
        return message;
    }
    return message + ".";
}

std::string FormatMessage(const std::string &pattern, const std::string &argument)
{
    const size_t at = pattern.find("%s");
    if (at == std::string::npos) {
        return pattern;
    }
    std::string text = pattern;
    text.replace(at, 2, argument);
    return text;
}

} // namespace orvex
