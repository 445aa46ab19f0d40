#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orvex::test {

namespace {

void Put16(std::string &s, size_t at, uint16_t v)
{
    if (s.size() < at + 2)
        s.resize(at + 2, '\0');
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string &s, size_t at, uint32_t v)
{
    Put16(s, at, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

void Put64(std::string &s, size_t at, uint64_t v)
{
    Put32(s, at, static_cast<uint32_t>(v & 0xFFFFFFFFu));
    Put32(s, at + 4, static_cast<uint32_t>(v >> 32));
}

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionFileOffset = 0x200;

// Headers of a PE32+ image with one section ".rsrc" of `rawSize` bytes at
// kSectionFileOffset; the resource directory entry is set when asked.
std::string PeHeaders(uint32_t rawSize, bool withResourceDirectory, uint32_t resourceSize)
{
    std::string f(kSectionFileOffset, '\0');
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, 0x3C, 0x40);
    f.replace(0x40, 4, std::string("PE\0\0", 4));
    const size_t coff = 0x44;
    Put16(f, coff + 0, 0x8664); // AMD64
    Put16(f, coff + 2, 1);      // one section
    Put16(f, coff + 16, 240);   // PE32+ optional header with 16 directories
    Put16(f, coff + 18, 0x2022);
    const size_t opt = coff + 20;
    Put16(f, opt, 0x20B);
    Put32(f, opt + 108, 16);
    if (withResourceDirectory) {
        Put32(f, opt + 112 + 2 * 8, kSectionRva);
        Put32(f, opt + 112 + 2 * 8 + 4, resourceSize);
    }
    const size_t section = opt + 240;
    f.replace(section, 5, ".rsrc");
    Put32(f, section + 8, rawSize);             // VirtualSize
    Put32(f, section + 12, kSectionRva);        // VirtualAddress
    Put32(f, section + 16, rawSize);            // SizeOfRawData
    Put32(f, section + 20, kSectionFileOffset); // PointerToRawData
    return f;
}

} // namespace

std::string BuildPeWithResource(uint32_t type, uint16_t language, const std::string &data)
{
    // Three directory levels (type, name, language), one entry each, then the
    // data entry and the data, all inside the resource section.
    std::string rsrc;
    Put16(rsrc, 0x00 + 14, 1);
    Put32(rsrc, 0x10, type);
    Put32(rsrc, 0x14, 0x80000000u | 0x18);
    Put16(rsrc, 0x18 + 14, 1);
    Put32(rsrc, 0x28, 1); // name 1
    Put32(rsrc, 0x2C, 0x80000000u | 0x30);
    Put16(rsrc, 0x30 + 14, 1);
    Put32(rsrc, 0x40, language);
    Put32(rsrc, 0x44, 0x48); // data entry
    Put32(rsrc, 0x48, kSectionRva + 0x58);
    Put32(rsrc, 0x4C, static_cast<uint32_t>(data.size()));
    rsrc.resize(0x58, '\0');
    rsrc += data;
    rsrc.resize((rsrc.size() + 0x1FF) & ~size_t(0x1FF), '\0');
    return PeHeaders(static_cast<uint32_t>(rsrc.size()), true, static_cast<uint32_t>(rsrc.size())) + rsrc;
}

std::string BuildPeWithoutResources()
{
    return PeHeaders(0x200, false, 0) + std::string(0x200, '\0');
}

std::string BuildElf(const std::vector<std::pair<std::string, std::string>> &sections, bool is64)
{
    const size_t headerSize = is64 ? 64 : 52;
    const size_t entrySize = is64 ? 64 : 40;
    std::string f(headerSize, '\0');
    f.replace(0, 4,
              "\x7f"
              "ELF");
    f[4] = is64 ? 2 : 1; // class
    f[5] = 1;            // little-endian
    f[6] = 1;            // version
    Put16(f, 16, 3);     // ET_DYN
    Put16(f, 18, is64 ? 62 : 3);
    Put32(f, 20, 1);

    // Section names, then contents, then the section header table.
    std::string names(1, '\0');
    std::vector<uint32_t> nameOffsets;
    for (const auto &section : sections) {
        nameOffsets.push_back(static_cast<uint32_t>(names.size()));
        names += section.first + '\0';
    }
    const uint32_t shstrtabName = static_cast<uint32_t>(names.size());
    names += std::string(".shstrtab") + '\0';

    const size_t namesOffset = f.size();
    f += names;
    std::vector<size_t> offsets;
    for (const auto &section : sections) {
        f.resize((f.size() + 7) & ~size_t(7), '\0');
        offsets.push_back(f.size());
        f += section.second;
    }
    f.resize((f.size() + 7) & ~size_t(7), '\0');
    const size_t shoff = f.size();
    const size_t count = sections.size() + 2;
    f.resize(shoff + count * entrySize, '\0');
    auto header = [&](size_t index, uint32_t name, uint32_t type, size_t offset, size_t size) {
        const size_t h = shoff + index * entrySize;
        Put32(f, h, name);
        Put32(f, h + 4, type);
        if (is64) {
            Put64(f, h + 0x18, offset);
            Put64(f, h + 0x20, size);
        } else {
            Put32(f, h + 0x10, static_cast<uint32_t>(offset));
            Put32(f, h + 0x14, static_cast<uint32_t>(size));
        }
    };
    for (size_t i = 0; i < sections.size(); ++i)
        header(i + 1, nameOffsets[i], 1 /* PROGBITS */, offsets[i], sections[i].second.size());
    header(count - 1, shstrtabName, 3 /* STRTAB */, namesOffset, names.size());

    if (is64) {
        Put64(f, 0x28, shoff);
        Put16(f, 0x34, 64);
        Put16(f, 0x3A, static_cast<uint16_t>(entrySize));
        Put16(f, 0x3C, static_cast<uint16_t>(count));
        Put16(f, 0x3E, static_cast<uint16_t>(count - 1));
    } else {
        Put32(f, 0x20, static_cast<uint32_t>(shoff));
        Put16(f, 0x28, 52);
        Put16(f, 0x2E, static_cast<uint16_t>(entrySize));
        Put16(f, 0x30, static_cast<uint16_t>(count));
        Put16(f, 0x32, static_cast<uint16_t>(count - 1));
    }
    return f;
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-test-XXXXXX").string();
    char *made = ::mkdtemp(pattern.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace orvex::test
