#include "core/Errors.h"

namespace orvex {

std::string ErrorBoxText(const std::string &message)
{
    // Every byte of a character beyond ASCII, and every byte that is no
    // UTF-8, is above ".": the last byte tells.
    if (message.empty() || static_cast<unsigned char>(message.back()) <= '.') {
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

std::string FormatMessage(const std::string &pattern, std::initializer_list<std::string> arguments)
{
    std::string text;
    size_t from = 0;
    for (const std::string &argument : arguments) {
        const size_t at = pattern.find("%s", from);
        if (at == std::string::npos)
            break;
        text.append(pattern, from, at - from).append(argument);
        from = at + 2;
    }
    return text.append(pattern, from, std::string::npos);
}

} // namespace orvex
