#include "core/ColorText.h"

#include "core/Settings.h"

#include <cstdio>

namespace orvex {

namespace {

struct NamedColor {
    const char *name;
    uint32_t value;
};

constexpr NamedColor kColorNames[] = {
    {"clBlack", 0x00000000},         {"clMaroon", 0x00000080},
    {"clGreen", 0x00008000},         {"clOlive", 0x00008080},
    {"clNavy", 0x00800000},          {"clPurple", 0x00800080},
    {"clTeal", 0x00808000},          {"clGray", 0x00808080},
    {"clSilver", 0x00C0C0C0},        {"clRed", 0x000000FF},
    {"clLime", 0x0000FF00},          {"clYellow", 0x0000FFFF},
    {"clBlue", 0x00FF0000},          {"clFuchsia", 0x00FF00FF},
    {"clAqua", 0x00FFFF00},          {"clWhite", 0x00FFFFFF},
    {"clScrollBar", 0x80000000},     {"clBackground", 0x80000001},
    {"clActiveCaption", 0x80000002}, {"clInactiveCaption", 0x80000003},
    {"clMenu", 0x80000004},          {"clWindow", 0x80000005},
    {"clWindowFrame", 0x80000006},   {"clMenuText", 0x80000007},
    {"clWindowText", 0x80000008},    {"clCaptionText", 0x80000009},
    {"clActiveBorder", 0x8000000A},  {"clInactiveBorder", 0x8000000B},
    {"clAppWorkSpace", 0x8000000C},  {"clHighlight", 0x8000000D},
    {"clHighlightText", 0x8000000E}, {"clBtnFace", 0x8000000F},
    {"clBtnShadow", 0x80000010},     {"clGrayText", 0x80000011},
    {"clBtnText", 0x80000012},       {"clInactiveCaptionText", 0x80000013},
    {"clBtnHighlight", 0x80000014},  {"cl3DDkShadow", 0x80000015},
    {"cl3DLight", 0x80000016},       {"clInfoText", 0x80000017},
    {"clInfoBk", 0x80000018},        {"clNone", clNone},
};

// The classic Windows standard scheme, as 0xRRGGBB, indexed by system colour.
constexpr uint32_t kSystemPalette[25] = {
    0xD4D0C8, // scroll bar
    0x3A6EA5, // desktop background
    0x0A246A, // active caption
    0x808080, // inactive caption
    0xD4D0C8, // menu
    0xFFFFFF, // window
    0x000000, // window frame
    0x000000, // menu text
    0x000000, // window text
    0xFFFFFF, // caption text
    0xD4D0C8, // active border
    0xD4D0C8, // inactive border
    0x808080, // application workspace
    0x0A246A, // highlight
    0xFFFFFF, // highlight text
    0xD4D0C8, // button face
    0x808080, // button shadow
    0x808080, // grey text
    0x000000, // button text
    0xD4D0C8, // inactive caption text
    0xFFFFFF, // button highlight
    0x404040, // 3D dark shadow
    0xD4D0C8, // 3D light
    0x000000, // tooltip text
    0xFFFFE1, // tooltip background
};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string ColorToString(uint32_t color)
{
    for (const NamedColor &named : kColorNames) {
        if (named.value == color) {
            return named.name;
        }
    }
    char text[10];
    std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(color));
    return text;
}

std::optional<uint32_t> StringToColor(std::string_view text)
{
    for (const NamedColor &named : kColorNames) {
        if (EqualsIgnoringAsciiCase(text, named.name)) {
            return named.value;
        }
    }
    const std::optional<int32_t> value = ParseLenientInt(text);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(*value);
}

uint32_t ColorToRgb(uint32_t color)
{
    if ((color & 0xFF000000) == 0x80000000) {
        const uint32_t index = color & 0x00FFFFFF;
        // Unknown system colours show black, as the platform reports them.
        return index < 25 ? kSystemPalette[index] : 0x000000;
    }
    if (color == clNone) {
        return 0xFFFFFF;
    }
    const uint32_t red = color & 0xFF;
    const uint32_t green = (color >> 8) & 0xFF;
    const uint32_t blue = (color >> 16) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}

} // namespace orvex
