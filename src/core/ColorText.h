// Colour text: a 32-bit colour (lowest byte red, then green, then blue) is
// stored as one of 42 names ("clBlack" .. "clNone") or as "$" and eight
// upper-case hex digits. 0x80000000..0x80000018 are the system colours 0..24,
// 0x1FFFFFFF is no colour.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvex {

inline constexpr uint32_t clNone = 0x1FFFFFFF;
// The system colours the forms use.
inline constexpr uint32_t clInactiveCaption = 0x80000003;
inline constexpr uint32_t clCaptionText = 0x80000009;
inline constexpr uint32_t clInactiveBorder = 0x8000000B;
inline constexpr uint32_t clBtnFace = 0x8000000F;

// The name when the value has one, else "$" + eight upper-case hex digits.
std::string ColorToString(uint32_t color);

// A name of the table (any case) or a lenient integer; nullopt otherwise.
std::optional<uint32_t> StringToColor(std::string_view text);

// The RGB a colour shows as (system colours mapped to a fixed classic
// Windows palette); 0xRRGGBB with red in the high byte, ready for Qt.
uint32_t ColorToRgb(uint32_t color);

} // namespace orvex
