// Code page conversion between the Windows ANSI code page of Japanese systems
// (CP932, Shift-JIS as Windows writes it) and the UTF-8 used inside Orvex.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvex {

// ---- UTF-8, the one decoder of the program ----

// The character at `at`, moving `at` past it. Overlong forms, surrogates,
// values past U+10FFFF and sequences cut short are not UTF-8: then nullopt,
// and `at` moves one byte.
std::optional<char32_t> DecodeUtf8At(std::string_view text, size_t &at);

// Appends a character (up to U+10FFFF) as UTF-8.
void AppendUtf8(std::string &out, char32_t cp);

bool IsValidUtf8(std::string_view bytes);

// ---- CP932 ----

// CP932 is read character by character: a lead byte (0x81-0x9F, 0xE0-0xFC)
// followed by a trail byte (0x40-0x7E, 0x80-0xFC) is one character, even
// when the trail byte is "[", "]" or a backslash. Returns the byte length (1 or 2)
// of the character starting at `at`.
size_t Cp932CharLength(std::string_view bytes, size_t at);

// CP932 bytes to UTF-8; a character CP932 does not define becomes one U+FFFD.
std::string Cp932ToUtf8(std::string_view bytes);

// The same, but nullopt when a character is undefined.
std::optional<std::string> Cp932ToUtf8Exact(std::string_view bytes);

// What the encoder does with a character whose CP932 round trip is not
// exact: CP932 maps some characters one way onto lookalikes ("¥" to a backslash,
// "〜" to "～", "−" to "－"), so only a character that reads back as itself
// has a CP932 form.
enum class Unencodable {
    Fail,        // the whole conversion fails
    CharacterRef // written as an XML character reference "&#NNNN;" (decimal, as libxml2 writes it)
};

// UTF-8 to CP932 by the exact round-trip rule. Nullopt when `utf8` is not
// valid UTF-8, or a character has no form and `fallback` is Fail.
std::optional<std::string> EncodeCp932(std::string_view utf8, Unencodable fallback);

// EncodeCp932 with Unencodable::Fail.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// ---- Text files ----

// Reading a text file: a UTF-8 byte-order mark means UTF-8 (the mark is
// dropped, a byte that is not UTF-8 after it becomes U+FFFD); otherwise
// valid UTF-8 is taken as UTF-8; anything else as CP932.
std::string DecodeFileText(std::string_view bytes);

// False when DecodeFileText puts U+FFFD in place of some bytes (CP932 byte
// pairs without a character, or bytes that are not UTF-8 behind the mark).
bool DecodesWithoutLoss(std::string_view bytes);

// Writing a text file: CP932 when every character has a CP932 form, else the
// whole text as UTF-8 behind a byte-order mark, so nothing is lost.
std::string EncodeFileText(std::string_view utf8);

} // namespace orvex
