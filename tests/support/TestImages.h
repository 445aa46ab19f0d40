// Minimal executable images built byte by byte, for the version reader's
// tests: a PE32+ file with one resource section and an ELF file with named
// sections. They carry only what a reader of resources and sections looks at.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvex::test {

// A PE32+ image whose resource directory holds one resource of `type`, name
// 1, language `language`, with `data` as its bytes.
std::string BuildPeWithResource(uint32_t type, uint16_t language, const std::string &data);

// A PE32+ image without a resource directory.
std::string BuildPeWithoutResources();

// An ELF file (64- or 32-bit, little-endian) with the given sections
// (name, contents) besides the null section and ".shstrtab".
std::string BuildElf(const std::vector<std::pair<std::string, std::string>> &sections, bool is64 = true);

// Writes bytes to a file; fails the current test when it cannot.
void WriteBytes(const std::string &path, const std::string &bytes);

// A fresh empty directory under the system's temporary folder, removed with
// its contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return path_; } // without trailing "/"
private:
    std::string path_;
};

} // namespace orvex::test
