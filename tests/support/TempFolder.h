// A folder of its own for a test, made with mkdtemp and removed with all it
// holds when the test ends.
#pragma once

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvex::test {

class TempFolder {
public:
    TempFolder()
    {
        char name[] = "/tmp/orvex-test-XXXXXX";
        if (mkdtemp(name) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = name;
    }
    ~TempFolder()
    {
        chmod(path_.c_str(), 0700);
        nftw(path_.c_str(), Remove, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &Path() const { return path_; } // no trailing "/"
    std::string File(const std::string &name) const { return path_ + "/" + name; }

    void Write(const std::string &name, const std::string &bytes) const
    {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Read(const std::string &name) const
    {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Names in the folder, "." and ".." left out.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        if (DIR *dir = opendir(path_.c_str())) {
            while (const dirent *entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            closedir(dir);
        }
        return names;
    }

private:
    static int Remove(const char *path, const struct stat *, int, FTW *) { return ::remove(path); }
    std::string path_;
};

} // namespace orvex::test
