// Problems with the program's files that the user must hear about while the
// work goes on (a file that cannot be read and is kept as it is, a backup
// made before saving over it). The file code reports them here; the user
// interface shows them.
#pragma once

#include <functional>
#include <string>

namespace orvex {

void ReportFileProblem(const std::string &message);

// Where reports go; nullptr restores the default (standard error).
void SetFileProblemSink(std::function<void(const std::string &)> sink);

} // namespace orvex
