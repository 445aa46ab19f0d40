#include "core/ProgramFolder.h"

#include "core/FileIO.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <ftw.h>
#include <mutex>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvex {

namespace {

std::string &Override()
{
    static std::string folder;
    return folder;
}

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string WithoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

// The files a new data folder takes over from the program folder.
const char *const kSeededFiles[] = {"config.ini", "CloseURL.txt", "Close.txt"};
const char kBookmarkFile[] = "bookmark.xml";
const char kWebListFolder[] = "WebList";

// Names of the regular files in a folder.
std::vector<std::string> FilesIn(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (FileExists(folder + name)) {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

bool CopyFile(const std::string &from, const std::string &to)
{
    const std::optional<std::string> bytes = ReadFileBytes(from);
    return bytes && WriteFileAtomic(to, *bytes);
}

// mkdir -p; new folders are private to the user, as the XDG rules ask.
bool MakeFolders(const std::string &path)
{
    std::string partial;
    for (size_t pos = 0; pos != std::string::npos;) {
        const size_t next = path.find('/', pos + 1);
        partial = path.substr(0, next);
        pos = next;
        if (!partial.empty() && mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return DirectoryExists(path);
}

int RemoveEntry(const char *path, const struct stat *, int, FTW *)
{
    return ::remove(path);
}

// Copies the program folder's files into `target` (with trailing "/"). A
// file that cannot be copied stays only in the program folder.
void Seed(const std::string &programFolder, const std::string &target)
{
    for (const std::string &name : FilesIn(programFolder)) {
        bool wanted = strcasecmp(name.c_str(), kBookmarkFile) == 0; // the file's name is matched in any case
        for (const char *seeded : kSeededFiles) {
            wanted = wanted || name == seeded;
        }
        if (wanted) {
            CopyFile(programFolder + name, target + name);
        }
    }
    const std::string lists = programFolder + kWebListFolder + "/";
    if (DirectoryExists(lists)) {
        const std::string targetLists = target + kWebListFolder + "/";
        mkdir(targetLists.c_str(), 0700);
        for (const std::string &name : FilesIn(lists)) {
            CopyFile(lists + name, targetLists + name);
        }
    }
}

} // namespace

std::string ProgramFolder()
{
    if (!Override().empty()) {
        return Override();
    }
    // The executable's folder is fixed for the life of the process.
    static const std::string folder = [] {
        char buffer[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (length <= 0) {
            return std::string("./");
        }
        std::string exe(buffer, static_cast<size_t>(length));
        const size_t slash = exe.rfind('/');
        return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
    }();
    return folder;
}

std::string WorkingFolder()
{
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return "./";
        }
        buffer.resize(buffer.size() * 2);
    }
    return WithTrailingSlash(buffer.data());
}

std::string GeckoModuleIn(const std::string &folder)
{
    return WithTrailingSlash(folder) + GeckoModuleName;
}

std::string FindGeckoModule(const std::string &mozPath)
{
    if (!mozPath.empty() && FileExists(GeckoModuleIn(mozPath)))
        return GeckoModuleIn(mozPath);
    const std::string beside = ProgramFolder() + GeckoModuleName;
    return FileExists(beside) ? beside : std::string();
}

std::string UserConfigHome()
{
    // Relative values are invalid by the XDG rules and are ignored.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        return WithTrailingSlash(config);
    }
    std::string home;
    if (const char *env = std::getenv("HOME"); env && env[0] == '/') {
        home = env;
    } else if (const passwd *user = getpwuid(getuid()); user && user->pw_dir) {
        home = user->pw_dir;
    }
    return WithTrailingSlash(home) + ".config/";
}

std::string UserDataFolder(const std::string &programFolder, const std::string &configHome)
{
    const std::string folder = WithTrailingSlash(configHome) + "orvex/";
    if (DirectoryExists(folder) || !MakeFolders(WithoutTrailingSlash(configHome))) {
        return folder;
    }
    // Seeded in a folder of its own and moved into place whole, so that an
    // interrupted first start leaves no half-seeded data folder, and of two
    // first starts at once the second finds the first one's folder.
    std::string temp = WithTrailingSlash(configHome) + "orvex.new-XXXXXX";
    if (mkdtemp(temp.data()) == nullptr) {
        return folder;
    }
    Seed(programFolder, temp + "/");
    if (rename(temp.c_str(), WithoutTrailingSlash(folder).c_str()) != 0) {
        nftw(temp.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS);
    }
    return folder;
}

std::string ResolveDataFolder(const std::string &programFolder, const std::string &configHome)
{
    const bool installed = FileExists(programFolder + InstalledMarkerName);
    if (!installed && access(programFolder.c_str(), W_OK) == 0) {
        return programFolder;
    }
    return UserDataFolder(programFolder, configHome);
}

std::string DataFolder()
{
    // Decided once per program folder and configuration home: the decision
    // may make and seed a folder, and every file name is built from it.
    static std::mutex lock;
    static std::string decidedFor;
    static std::string decided;
    const std::string program = ProgramFolder();
    const std::string configHome = UserConfigHome();
    const std::string key = program + '\n' + configHome;
    const std::lock_guard<std::mutex> guard(lock);
    if (decidedFor != key || decided.empty()) {
        decided = ResolveDataFolder(program, configHome);
        decidedFor = key;
    }
    return decided;
}

void SetProgramFolderOverride(const std::string &folder)
{
    Override() = folder.empty() ? std::string() : WithTrailingSlash(folder);
}

} // namespace orvex
