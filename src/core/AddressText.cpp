#include "core/AddressText.h"

#include <algorithm>
#include <cctype>

namespace orvex {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// "scheme://..." with any scheme, or one of the schemes written without
// slashes.
bool HasScheme(std::string_view text)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    const std::string_view scheme = text.substr(0, colon);
    if (!std::isalpha(static_cast<unsigned char>(scheme[0])))
        return false;
    for (const char c : scheme)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    if (text.substr(colon + 1, 2) == "//")
        return true;
    static const char *const bare[] = {"about",  "data",        "file", "javascript",
                                       "mailto", "view-source", "blob"};
    const std::string lower = Lower(scheme);
    return std::any_of(std::begin(bare), std::end(bare), [&](const char *s) { return lower == s; });
}

} // namespace

TypedText ClassifyTypedText(std::string_view text)
{
    text = Trim(text);
    if (text.empty() || HasScheme(text))
        return {TypedText::Address, {}};
    if (std::any_of(text.begin(), text.end(), IsBlank) || text.front() == '?')
        return {TypedText::Search, {}};
    // A local path.
    if (text.front() == '/' || text.front() == '~' || text.front() == '.')
        return {TypedText::Address, {}};
    // The host part: before any path, query or fragment, without user and port.
    std::string_view host = text.substr(0, text.find_first_of("/?#"));
    if (const size_t at = host.rfind('@'); at != std::string_view::npos)
        host.remove_prefix(at + 1);
    if (!host.empty() && host.front() == '[')
        return {TypedText::Address, {}};
    host = host.substr(0, host.find(':'));
    if (host.empty())
        return {TypedText::Search, {}};
    if (host.find('.') != std::string_view::npos || Lower(host) == "localhost")
        return {TypedText::Address, {}};
    return {TypedText::HostOrSearch, std::string(host)};
}

std::string SearchAddress(std::string_view urlTemplate, std::string_view words)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : Trim(words)) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += c;
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 15];
        }
    }
    std::string out;
    bool replaced = false;
    for (size_t i = 0; i < urlTemplate.size(); ++i) {
        if (urlTemplate[i] == '%' && i + 1 < urlTemplate.size() && urlTemplate[i + 1] == 's') {
            out += encoded;
            replaced = true;
            ++i;
        } else {
            out += urlTemplate[i];
        }
    }
    return replaced ? out : out + encoded;
}

} // namespace orvex
