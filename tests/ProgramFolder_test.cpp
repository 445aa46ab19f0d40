#include "platform/ProgramFolder.h"

#include <climits>
#include <gtest/gtest.h>
#include <unistd.h>

using orvex::ProgramFolder;
using orvex::SetProgramFolderOverride;

namespace {

TEST(ProgramFolder, IsTheExecutablesFolderUnlessOverridden)
{
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const std::string own(exe);
    const std::string expected = own.substr(0, own.rfind('/') + 1);
    EXPECT_EQ(ProgramFolder(), expected);

    SetProgramFolderOverride("/tmp/orvex");
    EXPECT_EQ(ProgramFolder(), "/tmp/orvex/");
    SetProgramFolderOverride("/tmp/other/");
    EXPECT_EQ(ProgramFolder(), "/tmp/other/");
    SetProgramFolderOverride("");
    EXPECT_EQ(ProgramFolder(), expected);
}

} // namespace
