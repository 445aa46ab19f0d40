#include "core/Settings.h"

#include "core/ColorText.h"
#include "core/Errors.h"
#include "core/FileProblems.h"
#include "core/ProfileFile.h"

namespace orvex {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<int32_t> ParseLenientInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    std::string_view rest = text.substr(i);
    if (rest.empty()) {
        return std::nullopt;
    }

    // Hexadecimal: a prefix and one to eight digits, taken as a bit pattern.
    size_t prefix = 0;
    if (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X') {
        prefix = 1;
    } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        prefix = 2;
    }
    if (prefix > 0) {
        const std::string_view digits = rest.substr(prefix);
        if (digits.empty() || digits.size() > 8) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (const char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                return std::nullopt;
            }
            value = (value << 4) | static_cast<uint32_t>(d);
        }
        return static_cast<int32_t>(value);
    }

    // Decimal with an optional sign, within the signed 32-bit range.
    bool negative = false;
    if (rest[0] == '+' || rest[0] == '-') {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return std::nullopt;
    }
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

std::string SettingsFile::ReadString(const std::string &section, const std::string &key,
                                     const std::string &defaultValue) const
{
    return GetPrivateProfileString(section, key, defaultValue, path_);
}

void SettingsFile::WriteString(const std::string &section, const std::string &key,
                               const std::string &value) const
{
    if (!WritePrivateProfileString(section, key, value, path_)) {
        throw Error(SaveFailedText(msg::CannotWriteSettings, path_));
    }
}

int32_t SettingsFile::ReadInteger(const std::string &section, const std::string &key,
                                  int32_t defaultValue) const
{
    const std::optional<std::string> text = ReadProfileValue(path_, section, key);
    return text ? ParseLenientInt(*text).value_or(defaultValue) : defaultValue;
}

void SettingsFile::WriteInteger(const std::string &section, const std::string &key, int32_t value) const
{
    WriteString(section, key, std::to_string(value));
}

void SettingsFile::WriteBool(const std::string &section, const std::string &key, bool value) const
{
    WriteString(section, key, value ? "1" : "0");
}

bool SettingsFile::ReadFlagNonZero(const std::string &section, const std::string &key,
                                   int32_t defaultValue) const
{
    return ReadInteger(section, key, defaultValue) != 0;
}

bool SettingsFile::ReadFlagOne(const std::string &section, const std::string &key) const
{
    return ReadInteger(section, key, 0) == 1;
}

bool SettingsFile::ReadFlagLowByteOne(const std::string &section, const std::string &key) const
{
    return (ReadInteger(section, key, 0) & 0xFF) == 1;
}

uint32_t SettingsFile::ReadColor(const std::string &section, const std::string &key,
                                 const std::string &defaultText) const
{
    const std::string text = ReadString(section, key, defaultText);
    const std::optional<uint32_t> color = StringToColor(text);
    if (!color) {
        throw Error(FormatMessage(msg::NotAnInteger, text));
    }
    return *color;
}

void SettingsFile::WriteColor(const std::string &section, const std::string &key, uint32_t color) const
{
    WriteString(section, key, ColorToString(color));
}

} // namespace orvex
