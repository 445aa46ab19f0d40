// The windows of a run, kept in "session.txt" in the data folder while the
// program runs: their addresses in tab order, and whether the run ended
// through its own shutdown (a run that did not has crashed or was killed).
// UTF-8 text, CR LF: the line "ended=0" or "ended=1", then one address a
// line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvex {

struct Session {
    bool ended = false;
    std::vector<std::string> addresses;
};

inline constexpr const char *kSessionFileName = "session.txt";

std::string FormatSession(const Session &session);
// Nothing for text of another form.
std::optional<Session> ParseSession(const std::string &text);
// Nothing when the file is missing or unreadable.
std::optional<Session> ReadSession(const std::string &path);
// Whole, through a temporary file; false on failure.
bool WriteSession(const std::string &path, const Session &session);

} // namespace orvex
