#include "core/ProgramFolder.h"
#include "support/TempFolder.h"

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using orvex::DataFolder;
using orvex::ProgramFolder;
using orvex::ResolveDataFolder;
using orvex::SetProgramFolderOverride;
using orvex::test::TempFolder;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name), old_(getenv(name) ? getenv(name) : "")
    {
        had_ = getenv(name) != nullptr;
        setenv(name, value, 1);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char *name_;
    std::string old_;
    bool had_;
};

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

// A program folder as a user's copy holds it, and an empty configuration
// home.
struct Folders {
    TempFolder program;
    TempFolder home;
    Folders()
    {
        program.Write("config.ini", "[General]\r\nLastEngine=Gecko\r\n");
        program.Write("CloseURL.txt", "*ads*\r\n");
        program.Write("Close.txt", "http://closed/\r\n");
        program.Write("BookMark.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><bookmark/>");
        program.Write("iexplore.so", "module");
        mkdir(program.File("WebList").c_str(), 0755);
        program.Write("WebList/news.wlf", "http://a/\r\n");
    }
    std::string Program() const { return program.Path() + "/"; }
    std::string Config() const { return home.Path() + "/"; }
    std::string User() const { return Config() + "orvex/"; }
};

void ExpectSeeded(const Folders &f, const std::string &data)
{
    ASSERT_EQ(data, f.User());
    for (const char *name : {"config.ini", "CloseURL.txt", "Close.txt", "BookMark.xml", "WebList/news.wlf"})
        EXPECT_EQ(f.home.Read(std::string("orvex/") + name), f.program.Read(name)) << name;
    // Only the program's files, and no seeding folder left beside them.
    EXPECT_NE(access((data + "iexplore.so").c_str(), F_OK), 0);
    EXPECT_EQ(f.home.Names(), std::vector<std::string>{"orvex"});
    struct stat st {};
    ASSERT_EQ(stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the user's data folder is private";
}

TEST(DataFolder, WritableProgramFolderStaysTheDataFolder)
{
    Folders f;
    EXPECT_EQ(ResolveDataFolder(f.Program(), f.Config()), f.Program());
    EXPECT_TRUE(f.home.Names().empty());

    // DataFolder() follows the program folder in use.
    const ScopedEnv config("XDG_CONFIG_HOME", f.Config().c_str());
    SetProgramFolderOverride(f.Program());
    EXPECT_EQ(DataFolder(), f.Program());
    SetProgramFolderOverride("");
}

TEST(DataFolder, InstalledCopySeedsTheUsersFolderOnceAndKeepsItsChanges)
{
    Folders f;
    f.program.Write(orvex::InstalledMarkerName, "");
    const std::string before = f.program.Read("config.ini");
    const std::string data = ResolveDataFolder(f.Program(), f.Config());
    ExpectSeeded(f, data);

    // Later starts take the user's folder as it is: no second seeding.
    f.program.Write("config.ini", "[General]\r\nLastEngine=IE\r\n");
    std::remove((data + "CloseURL.txt").c_str());
    EXPECT_EQ(ResolveDataFolder(f.Program(), f.Config()), data);
    EXPECT_EQ(f.home.Read("orvex/config.ini"), before);
    EXPECT_NE(access((data + "CloseURL.txt").c_str(), F_OK), 0);
}

// The program folder is read-only to the user, as for a copy installed for
// all users. Root may write anywhere, so as root the check runs in a child
// process under an unprivileged user.
TEST(DataFolder, ReadOnlyProgramFolderSeedsTheUsersFolder)
{
    Folders f;
    const bool root = geteuid() == 0;
    const uid_t nobody = 65534;
    for (const std::string &path : {f.program.Path(), f.program.File("WebList")})
        chmod(path.c_str(), 0555);
    chmod(f.home.Path().c_str(), 0777);
    for (const char *file : {"config.ini", "CloseURL.txt", "Close.txt", "BookMark.xml", "WebList/news.wlf"})
        chmod(f.program.File(file).c_str(), 0444);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(2);
        _exit(ResolveDataFolder(f.Program(), f.Config()) == f.User() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ExpectSeeded(f, f.User());
    EXPECT_EQ(f.program.Names().size(), 6u) << "nothing is written beside the program";
    chmod(f.program.File("WebList").c_str(), 0755);
}

TEST(DataFolder, ConfigurationHomeFollowsTheXdgRules)
{
    const ScopedEnv home("HOME", "/home/someone");
    const ScopedEnv config("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(orvex::UserConfigHome(), "/srv/conf/");
    // A relative value is not valid and is ignored.
    setenv("XDG_CONFIG_HOME", "conf", 1);
    EXPECT_EQ(orvex::UserConfigHome(), "/home/someone/.config/");
}

} // namespace
