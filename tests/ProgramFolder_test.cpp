#include "platform/ProgramFolder.h"
#include "support/TempFolder.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using orvex::DataFolder;
using orvex::ProgramFolder;
using orvex::ResolveDataFolder;
using orvex::SetProgramFolderOverride;
using orvex::test::TempFolder;

namespace {

std::string Bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int EntriesIn(const std::string &folder)
{
    int count = 0;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir))
            count += std::string(entry->d_name) != "." && std::string(entry->d_name) != "..";
        closedir(dir);
    }
    return count;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char *name_;
    std::optional<std::string> old_;
};

bool Exists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

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

// A program folder as a user's copy holds it, and an empty configuration home.
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
    std::string Config() const { return home.Path() + "/config/"; }
    std::string User() const { return Config() + "orvex/"; }
};

void ExpectSeeded(const Folders &f, const std::string &data)
{
    ASSERT_EQ(data, f.User());
    EXPECT_EQ(Bytes(data + "config.ini"), f.program.Read("config.ini"));
    EXPECT_EQ(Bytes(data + "CloseURL.txt"), f.program.Read("CloseURL.txt"));
    EXPECT_EQ(Bytes(data + "Close.txt"), f.program.Read("Close.txt"));
    EXPECT_EQ(Bytes(data + "BookMark.xml"), f.program.Read("BookMark.xml"));
    EXPECT_EQ(Bytes(data + "WebList/news.wlf"), "http://a/\r\n");
    // Only the program's files: no modules, no left-over seeding folder.
    EXPECT_FALSE(Exists(data + "iexplore.so"));
    EXPECT_EQ(EntriesIn(f.Config()), 1) << "no seeding folder is left behind";
    struct stat st {};
    ASSERT_EQ(stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the user's data folder is private";
}

TEST(DataFolder, WritableProgramFolderStaysTheDataFolder)
{
    Folders f;
    EXPECT_EQ(ResolveDataFolder(f.Program(), f.Config()), f.Program());
    EXPECT_FALSE(Exists(f.Config()));

    // DataFolder() follows the program folder in use.
    const ScopedEnv config("XDG_CONFIG_HOME", f.Config());
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
    EXPECT_EQ(Bytes(data + "config.ini"), before);
    EXPECT_FALSE(Exists(data + "CloseURL.txt"));
}

// The program folder is read-only to the user, as for a copy installed for
// all users. Root may write anywhere, so as root the check runs in a child
// process under an unprivileged user.
TEST(DataFolder, ReadOnlyProgramFolderSeedsTheUsersFolder)
{
    Folders f;
    mkdir(f.Config().c_str(), 0700);
    const bool root = geteuid() == 0;
    const uid_t nobody = 65534;
    for (const std::string &path : {f.program.Path(), f.program.File("WebList")})
        chmod(path.c_str(), 0555);
    for (const std::string &path : {f.home.Path(), f.Config()})
        chmod(path.c_str(), 0777);
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
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "/srv/conf");
        EXPECT_EQ(orvex::UserConfigHome(), "/srv/conf/");
    }
    // A relative or empty value is not valid and is ignored.
    for (const char *invalid : {"conf", ""}) {
        const ScopedEnv config("XDG_CONFIG_HOME", invalid);
        EXPECT_EQ(orvex::UserConfigHome(), "/home/someone/.config/") << invalid;
    }
}

} // namespace
