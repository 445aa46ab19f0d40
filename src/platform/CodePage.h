// Code page conversion between the Windows ANSI code page of Japanese systems
// (CP932, Shift-JIS as Windows writes it) and the UTF-8 used inside Orvex.
#pragma once

#include <string>
#include <string_view>

namespace orvex {

bool IsValidUtf8(std::string_view bytes);

// CP932 bytes to UTF-8; a byte sequence CP932 does not define becomes U+FFFD.
std::string Cp932ToUtf8(std::string_view bytes);

// UTF-8 to CP932. Returns false (and leaves out undefined) when a character
// has no CP932 form.
bool Utf8ToCp932(std::string_view utf8, std::string &out);

// Reading a text file: a UTF-8 byte-order mark means UTF-8 (the mark is
// dropped); otherwise valid UTF-8 is taken as UTF-8; anything else as CP932.
std::string DecodeFileText(std::string_view bytes);

// Writing a text file: CP932 when every character has a CP932 form, else the
// whole text as UTF-8 behind a byte-order mark, so nothing is lost.
std::string EncodeFileText(std::string_view utf8);

} // namespace orvex
