#include "core/FolderClaim.h"

#include "support/TempFolder.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using orvex::ClaimFolder;
using orvex::test::TempFolder;
using Names = std::vector<std::string>;

namespace {

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const TempFolder &folder, const std::string &name)
{
    return access(folder.File(name).c_str(), F_OK) == 0;
}

void LeaveStaleFiles(const TempFolder &folder)
{
    mkdir(folder.File("WebList").c_str(), 0700);
    for (const char *name : {".config.ini.Ab12Cd", ".BOOKMARK.xml.zz99ZZ", ".Close.txt.orvex-q1W2e3",
                             "WebList/.news.wlf.orvex-a1B2c3",
                             // not ours: another program's, a user's, and an odd-length tail
                             ".notes.txt.Ab12Cd", ".bashrc.backup", ".config.ini.Ab12C", "config.ini",
                             "WebList/.hidden.wlf.Ab12Cd"}) {
        folder.Write(name, "x");
    }
}

// Stale temporary files of our naming go at a start that finds no other
// Orvex on the folder; nothing else is touched.
TEST(FolderClaim, SweepsOurStaleTemporaryFilesWhenAlone)
{
    TempFolder folder;
    LeaveStaleFiles(folder);
    EXPECT_EQ(ClaimFolder(folder.Path()), 4);
    EXPECT_EQ(Sorted(folder.Names()), (Names{".bashrc.backup", ".config.ini.Ab12C", ".notes.txt.Ab12Cd",
                                             ".orvex.lock", "WebList", "config.ini"}));
    EXPECT_FALSE(Exists(folder, "WebList/.news.wlf.orvex-a1B2c3"));
    EXPECT_TRUE(Exists(folder, "WebList/.hidden.wlf.Ab12Cd"));
    EXPECT_EQ(ClaimFolder(folder.Path()), -1) << "claimed once per process";
}

TEST(FolderClaim, LeavesThemWhileAnotherOrvexUsesTheFolder)
{
    TempFolder folder;
    LeaveStaleFiles(folder);
    // Another running Orvex: a shared lock on the same lock file.
    const int other = open(folder.File(".orvex.lock").c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_SH), 0);
    EXPECT_TRUE(orvex::FolderInUse(folder.Path()));
    EXPECT_EQ(ClaimFolder(folder.Path()), -1);
    EXPECT_TRUE(Exists(folder, ".config.ini.Ab12Cd"));
    EXPECT_TRUE(Exists(folder, "WebList/.news.wlf.orvex-a1B2c3"));
    close(other);

    TempFolder alone;
    EXPECT_FALSE(orvex::FolderInUse(alone.Path()));
    EXPECT_FALSE(orvex::FolderInUse(alone.File("none")));
}

} // namespace
