#include "core/SessionFile.h"

#include "core/FileIO.h"

namespace orvex {

namespace {
constexpr size_t kMaxSessionBytes = 4u << 20;
}

std::string FormatSession(const Session &session)
{
    std::string text = session.ended ? "ended=1\r\n" : "ended=0\r\n";
    for (const std::string &address : session.addresses)
        if (!address.empty() && address.find_first_of("\r\n") == std::string::npos)
            text += address + "\r\n";
    return text;
}

std::optional<Session> ParseSession(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty() || (lines[0] != "ended=0" && lines[0] != "ended=1"))
        return std::nullopt;
    Session session;
    session.ended = lines[0] == "ended=1";
    for (size_t i = 1; i < lines.size(); ++i)
        if (!lines[i].empty())
            session.addresses.push_back(lines[i]);
    return session;
}

std::optional<Session> ReadSession(const std::string &path)
{
    const FileContent content = ReadFileLimited(path, kMaxSessionBytes);
    if (content.state != FileRead::Read)
        return std::nullopt;
    return ParseSession(content.bytes);
}

bool WriteSession(const std::string &path, const Session &session)
{
    return WriteFileAtomic(path, FormatSession(session));
}

} // namespace orvex
