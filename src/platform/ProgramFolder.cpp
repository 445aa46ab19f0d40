#include "platform/ProgramFolder.h"

#include <climits>
#include <unistd.h>

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

std::string DataFolder()
{
    return ProgramFolder();
}

void SetProgramFolderOverride(const std::string &folder)
{
    Override() = folder.empty() ? std::string() : WithTrailingSlash(folder);
}

} // namespace orvex
