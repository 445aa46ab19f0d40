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

// True when another process holds its lock on `folder` (another Orvex runs
// on it). A folder whose lock file cannot be made is in use by no one.
bool FolderInUse(const std::string &folder);

} // namespace orvex
