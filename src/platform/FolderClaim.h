// Which running Orvex uses a data folder: each holds a shared advisory lock
// on the folder's ".orvex.lock" for its whole run. A start that finds no
// other holder may clear what a crash left behind there.
#pragma once

#include <string>

namespace orvex {

// Takes this process's shared lock on `folder` (once per folder). When no
// other process holds one, first removes the stale temporary files of the
// folder and of its "WebList" folder. Returns how many were removed, or -1
// when the folder is in use by another Orvex or the lock cannot be had (a
// read-only folder).
int ClaimFolder(const std::string &folder);

} // namespace orvex
