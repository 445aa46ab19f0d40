#include "dialogs/VersionResource.h"

#include "platform/SystemErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

// ---- bounded little-endian reads -------------------------------------------

bool Fits(std::string_view data, uint64_t offset, uint64_t size)
{
    return offset <= data.size() && size <= data.size() - offset;
}

uint16_t Le16(std::string_view d, size_t o)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(d[o]) | (static_cast<uint8_t>(d[o + 1]) << 8));
}

uint32_t Le32(std::string_view d, size_t o)
{
    return static_cast<uint32_t>(Le16(d, o)) | (static_cast<uint32_t>(Le16(d, o + 2)) << 16);
}

uint64_t Le64(std::string_view d, size_t o)
{
    return static_cast<uint64_t>(Le32(d, o)) | (static_cast<uint64_t>(Le32(d, o + 4)) << 32);
}

// ELF files may be of either byte order.
struct EndianReader {
    std::string_view d;
    bool big = false;
    uint16_t U16(size_t o) const
    {
        if (!big)
            return Le16(d, o);
        return static_cast<uint16_t>((static_cast<uint8_t>(d[o]) << 8) | static_cast<uint8_t>(d[o + 1]));
    }
    uint32_t U32(size_t o) const
    {
        if (!big)
            return Le32(d, o);
        return (static_cast<uint32_t>(U16(o)) << 16) | U16(o + 2);
    }
    uint64_t U64(size_t o) const
    {
        if (!big)
            return Le64(d, o);
        return (static_cast<uint64_t>(U32(o)) << 32) | U32(o + 4);
    }
};

void PutLe16(std::string &out, uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void PutLe32(std::string &out, uint32_t v)
{
    PutLe16(out, static_cast<uint16_t>(v & 0xFFFF));
    PutLe16(out, static_cast<uint16_t>(v >> 16));
}

void SetLe16(std::string &out, size_t at, uint16_t v)
{
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}

size_t Align4(size_t n)
{
    return (n + 3) & ~static_cast<size_t>(3);
}

// ---- the version block ------------------------------------------------------

// One node of the block, located by offsets into the block.
struct Node {
    size_t start = 0;
    size_t end = 0; // start + wLength, within the block
    uint16_t valueLength = 0;
    uint16_t type = 0;
    std::string key; // UTF-8
    size_t valueStart = 0;
    size_t childrenStart = 0; // where the first child would begin
};

// Reads the node at `start`; false when it does not fit or is malformed.
bool ReadNode(std::string_view block, size_t start, size_t limit, Node &node)
{
    if (!Fits(block, start, 6) || start + 6 > limit)
        return false;
    const uint16_t length = Le16(block, start);
    if (length < 6 || start + length > limit)
        return false;
    node.start = start;
    node.end = start + length;
    node.valueLength = Le16(block, start + 2);
    node.type = Le16(block, start + 4);

    size_t p = start + 6;
    std::string keyUtf16;
    for (;;) {
        if (p + 2 > node.end)
            return false; // key without its terminator
        const uint16_t ch = Le16(block, p);
        p += 2;
        if (ch == 0)
            break;
        keyUtf16.push_back(block[p - 2]);
        keyUtf16.push_back(block[p - 1]);
    }
    node.key = Utf16TextToUtf8(keyUtf16);
    node.valueStart = std::min(Align4(p), node.end);
    const size_t valueBytes = node.type == 1 ? static_cast<size_t>(node.valueLength) * 2 : node.valueLength;
    node.childrenStart = std::min(Align4(node.valueStart + valueBytes), node.end);
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::vector<std::string_view> SplitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string_view::npos)
            j = path.size();
        if (j > i)
            parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

// ---- PE ---------------------------------------------------------------------

struct PeSection {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

std::optional<size_t> RvaToOffset(std::string_view file, const std::vector<PeSection> &sections, uint32_t rva,
                                  uint32_t size)
{
    for (const PeSection &s : sections) {
        const uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && static_cast<uint64_t>(rva) + size <= s.virtualAddress + extent) {
            const uint64_t delta = rva - s.virtualAddress;
            if (delta + size > s.rawSize)
                return std::nullopt; // lies in the zero-filled tail, not in the file
            const uint64_t offset = s.rawOffset + delta;
            if (offset > file.size() || size > file.size() - offset)
                return std::nullopt; // the section claims more than the file holds
            return static_cast<size_t>(offset);
        }
    }
    return std::nullopt;
}

// One level of the resource directory: picks the entry with the given ID, or
// the first entry when `id` is empty. Returns the entry's OffsetToData.
std::optional<uint32_t> PickResourceEntry(std::string_view f, size_t dirOffset, size_t resEnd,
                                          std::optional<uint32_t> id, bool firstIfMissing)
{
    if (!Fits(f, dirOffset, 16) || dirOffset + 16 > resEnd)
        return std::nullopt;
    const size_t count = static_cast<size_t>(Le16(f, dirOffset + 12)) + Le16(f, dirOffset + 14);
    std::optional<uint32_t> first;
    for (size_t i = 0; i < count; ++i) {
        const size_t e = dirOffset + 16 + i * 8;
        if (!Fits(f, e, 8) || e + 8 > resEnd)
            return std::nullopt;
        const uint32_t name = Le32(f, e);
        const uint32_t target = Le32(f, e + 4);
        if (!first)
            first = target;
        if (id && !(name & 0x80000000u) && name == *id)
            return target;
    }
    if (!id || firstIfMissing)
        return first;
    return std::nullopt;
}

std::optional<std::string> FindPeVersionBlock(std::string_view f, VersionLoadError &why)
{
    why = VersionLoadError::NoResourceSection;
    if (!Fits(f, 0, 0x40))
        return std::nullopt;
    const uint32_t peOffset = Le32(f, 0x3C);
    if (!Fits(f, peOffset, 24) || f.substr(peOffset, 4) != std::string_view("PE\0\0", 4))
        return std::nullopt;
    const size_t coff = peOffset + 4;
    const uint16_t sectionCount = Le16(f, coff + 2);
    const uint16_t optionalSize = Le16(f, coff + 16);
    const size_t opt = coff + 20;
    if (!Fits(f, opt, optionalSize) || optionalSize < 2)
        return std::nullopt;
    const uint16_t magic = Le16(f, opt);
    size_t dirCountAt;
    if (magic == 0x10B)
        dirCountAt = 92;
    else if (magic == 0x20B)
        dirCountAt = 108;
    else
        return std::nullopt;
    if (optionalSize < dirCountAt + 4)
        return std::nullopt;
    const uint32_t dirCount = Le32(f, opt + dirCountAt);
    const size_t resourceDirAt = dirCountAt + 4 + 2 * 8; // data directory 2: resources
    if (dirCount < 3 || optionalSize < resourceDirAt + 8)
        return std::nullopt;
    const uint32_t resRva = Le32(f, opt + resourceDirAt);
    const uint32_t resSize = Le32(f, opt + resourceDirAt + 4);
    if (resRva == 0 || resSize == 0)
        return std::nullopt;

    std::vector<PeSection> sections;
    const size_t table = opt + optionalSize;
    for (size_t i = 0; i < sectionCount; ++i) {
        const size_t s = table + i * 40;
        if (!Fits(f, s, 40))
            return std::nullopt;
        sections.push_back({Le32(f, s + 12), Le32(f, s + 8), Le32(f, s + 16), Le32(f, s + 20)});
    }
    // The resource section in the file; offsets inside the directory are
    // relative to its start.
    std::optional<size_t> resStart = RvaToOffset(f, sections, resRva, 16);
    if (!resStart)
        return std::nullopt;
    size_t resEnd = f.size();
    for (const PeSection &s : sections)
        if (resRva >= s.virtualAddress && resRva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
            resEnd = std::min<size_t>(f.size(), static_cast<size_t>(s.rawOffset) + s.rawSize);

    why = VersionLoadError::NoVersionResource;
    // Type RT_VERSION, then name 1 (VS_VERSION_INFO) or else the first name,
    // then the first language.
    std::optional<uint32_t> level = PickResourceEntry(f, *resStart, resEnd, kRtVersion, false);
    if (!level || !(*level & 0x80000000u))
        return std::nullopt;
    level = PickResourceEntry(f, *resStart + (*level & 0x7FFFFFFFu), resEnd, 1u, true);
    if (!level || !(*level & 0x80000000u))
        return std::nullopt;
    level = PickResourceEntry(f, *resStart + (*level & 0x7FFFFFFFu), resEnd, std::nullopt, true);
    if (!level || (*level & 0x80000000u))
        return std::nullopt;
    const size_t dataEntry = *resStart + *level;
    if (!Fits(f, dataEntry, 16))
        return std::nullopt;
    const uint32_t dataRva = Le32(f, dataEntry);
    const uint32_t dataSize = Le32(f, dataEntry + 4);
    std::optional<size_t> data = RvaToOffset(f, sections, dataRva, dataSize);
    if (!data)
        return std::nullopt;
    return std::string(f.substr(*data, dataSize));
}

// ---- ELF --------------------------------------------------------------------

std::optional<std::string> FindElfSection(std::string_view f, const char *wanted, VersionLoadError &why)
{
    why = VersionLoadError::NoResourceSection;
    if (!Fits(f, 0, 0x34) || f.substr(0, 4) != std::string_view("\x7f"
                                                                "ELF",
                                                                4))
        return std::nullopt;
    const uint8_t cls = static_cast<uint8_t>(f[4]);
    const uint8_t order = static_cast<uint8_t>(f[5]);
    if ((cls != 1 && cls != 2) || (order != 1 && order != 2))
        return std::nullopt;
    const bool is64 = cls == 2;
    EndianReader r{f, order == 2};
    if (is64 && !Fits(f, 0, 0x40))
        return std::nullopt;

    const uint64_t shoff = is64 ? r.U64(0x28) : r.U32(0x20);
    const uint16_t shentsize = r.U16(is64 ? 0x3A : 0x2E);
    const uint16_t shnum = r.U16(is64 ? 0x3C : 0x30);
    const uint16_t shstrndx = r.U16(is64 ? 0x3E : 0x32);
    const size_t minEntry = is64 ? 0x40 : 0x28;
    if (shoff == 0 || shnum == 0 || shentsize < minEntry || shstrndx >= shnum ||
        !Fits(f, shoff, static_cast<uint64_t>(shnum) * shentsize))
        return std::nullopt;

    struct Section {
        uint32_t name;
        uint32_t type;
        uint64_t offset;
        uint64_t size;
    };
    auto section = [&](size_t i) {
        const size_t h = static_cast<size_t>(shoff) + i * shentsize;
        if (is64)
            return Section{r.U32(h), r.U32(h + 4), r.U64(h + 0x18), r.U64(h + 0x20)};
        return Section{r.U32(h), r.U32(h + 4), r.U32(h + 0x10), r.U32(h + 0x14)};
    };
    const Section strings = section(shstrndx);
    if (!Fits(f, strings.offset, strings.size))
        return std::nullopt;
    const std::string_view names =
        f.substr(static_cast<size_t>(strings.offset), static_cast<size_t>(strings.size));

    why = VersionLoadError::NoVersionResource;
    for (size_t i = 0; i < shnum; ++i) {
        const Section s = section(i);
        if (s.name >= names.size())
            continue;
        const std::string_view rest = names.substr(s.name);
        const std::string_view name = rest.substr(0, rest.find('\0'));
        if (name != wanted)
            continue;
        const uint32_t shtNobits = 8;
        if (s.type == shtNobits || !Fits(f, s.offset, s.size))
            return std::nullopt;
        return std::string(f.substr(static_cast<size_t>(s.offset), static_cast<size_t>(s.size)));
    }
    return std::nullopt;
}

// The section may be padded by the linker: the block is its first wLength bytes.
std::optional<std::string> TrimToBlock(std::string data)
{
    if (data.size() < 6)
        return std::nullopt;
    const uint16_t length = Le16(data, 0);
    if (length < 6 || length > data.size())
        return std::nullopt;
    data.resize(length);
    return data;
}

// ---- UTF conversion -----------------------------------------------------------

void AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at `i`; malformed input gives U+FFFD and moves one byte.
uint32_t NextCodePoint(std::string_view s, size_t &i)
{
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t c = b(i);
    const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra == 0) {
        ++i;
        return c;
    }
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

// Reads a file whole; on failure gives the system's message for the error.
bool ReadWholeFile(const std::string &path, std::string &out, std::string &errorText)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errorText = SystemErrorText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        errorText = SystemErrorText(S_ISDIR(st.st_mode) ? EACCES : errno);
        ::close(fd);
        return false;
    }
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            errorText = SystemErrorText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace

std::string Utf16TextToUtf8(std::string_view utf16le)
{
    std::string out;
    for (size_t i = 0; i + 1 < utf16le.size(); i += 2) {
        uint32_t unit = Le16(utf16le, i);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < utf16le.size()) {
            const uint32_t low = Le16(utf16le, i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = 0xFFFD; // a lone surrogate
        AppendUtf8(out, unit);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8)
{
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        const uint32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            PutLe16(out, static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            PutLe16(out, static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            PutLe16(out, static_cast<uint16_t>(cp));
        }
    }
    return out;
}

std::string VersionLoadErrorText(VersionLoadError error)
{
    switch (error) {
    case VersionLoadError::None:
        return std::string();
    case VersionLoadError::NoResourceSection:
        return "指定されたイメージ ファイルにはリソース セクションがありません";
    case VersionLoadError::NoVersionResource:
        return "指定されたリソースの種類がイメージ ファイルに見つかりません";
    }
    return std::string();
}

std::string VersionValueNotFoundText()
{
    return "指定されたリソース名がイメージ ファイルに見つかりません";
}

std::optional<std::string> FindVersionBlock(std::string_view fileBytes, VersionLoadError *why)
{
    VersionLoadError reason = VersionLoadError::NoResourceSection;
    std::optional<std::string> data;
    if (fileBytes.substr(0, 2) == "MZ")
        data = FindPeVersionBlock(fileBytes, reason);
    else if (fileBytes.substr(0, 4) == std::string_view("\x7f"
                                                        "ELF",
                                                        4))
        data = FindElfSection(fileBytes, kVersionSectionName, reason);
    if (data) {
        data = TrimToBlock(std::move(*data));
        // A block must at least be a node named VS_VERSION_INFO.
        Node root;
        if (!data || !ReadNode(*data, 0, data->size(), root) || root.key != "VS_VERSION_INFO") {
            data.reset();
            reason = VersionLoadError::NoVersionResource;
        }
    }
    if (why)
        *why = data ? VersionLoadError::None : reason;
    return data;
}

std::optional<std::string> LoadVersionBlock(const std::string &path, std::string &errorText)
{
    errorText.clear();
    std::string bytes;
    if (!ReadWholeFile(path, bytes, errorText))
        return std::nullopt;
    VersionLoadError why = VersionLoadError::None;
    std::optional<std::string> block = FindVersionBlock(bytes, &why);
    if (!block)
        errorText = VersionLoadErrorText(why);
    return block;
}

std::optional<VersionValue> QueryVersionValue(std::string_view block, std::string_view subBlock)
{
    Node node;
    if (!ReadNode(block, 0, block.size(), node))
        return std::nullopt;
    for (std::string_view part : SplitPath(subBlock)) {
        bool found = false;
        size_t p = node.childrenStart;
        Node child;
        while (p < node.end && ReadNode(block, p, node.end, child)) {
            if (EqualsNoCase(child.key, part)) {
                found = true;
                break;
            }
            p = Align4(child.end);
        }
        if (!found)
            return std::nullopt;
        node = child;
    }
    VersionValue value;
    value.isText = node.type == 1;
    const size_t declared = value.isText ? node.end - node.valueStart : node.valueLength;
    value.bytes = std::string(block.substr(node.valueStart, std::min(declared, node.end - node.valueStart)));
    return value;
}

std::vector<std::pair<uint16_t, uint16_t>> ParseTranslations(std::string_view bytes)
{
    std::vector<std::pair<uint16_t, uint16_t>> entries;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        entries.emplace_back(Le16(bytes, i), Le16(bytes, i + 2));
    return entries;
}

namespace {

// Writes a node header and key; returns the node's start so its wLength can
// be set once the children are written.
size_t BeginNode(std::string &out, const std::string &key, uint16_t valueLength, uint16_t type)
{
    while (out.size() % 4)
        out.push_back('\0');
    const size_t start = out.size();
    PutLe16(out, 0);
    PutLe16(out, valueLength);
    PutLe16(out, type);
    out += Utf8ToUtf16Le(key);
    PutLe16(out, 0);
    while (out.size() % 4)
        out.push_back('\0');
    return start;
}

void EndNode(std::string &out, size_t start)
{
    SetLe16(out, start, static_cast<uint16_t>(out.size() - start));
}

} // namespace

std::string BuildVersionBlock(const VersionBlockContents &contents)
{
    std::string out;
    const size_t root = BeginNode(out, "VS_VERSION_INFO", contents.fixedVersion ? 52 : 0, 0);
    if (contents.fixedVersion) {
        const auto &v = *contents.fixedVersion;
        const uint32_t ms = (static_cast<uint32_t>(v[0]) << 16) | v[1];
        const uint32_t ls = (static_cast<uint32_t>(v[2]) << 16) | v[3];
        PutLe32(out, 0xFEEF04BD); // dwSignature
        PutLe32(out, 0x00010000); // dwStrucVersion
        PutLe32(out, ms);         // dwFileVersionMS
        PutLe32(out, ls);         // dwFileVersionLS
        PutLe32(out, ms);         // dwProductVersionMS
        PutLe32(out, ls);         // dwProductVersionLS
        PutLe32(out, 0x3F);       // dwFileFlagsMask
        PutLe32(out, 0);          // dwFileFlags
        PutLe32(out, 0x00040004); // dwFileOS: VOS_NT_WINDOWS32
        PutLe32(out, 2);          // dwFileType: VFT_DLL
        PutLe32(out, 0);          // dwFileSubtype
        PutLe32(out, 0);          // dwFileDateMS
        PutLe32(out, 0);          // dwFileDateLS
    }
    if (!contents.tables.empty()) {
        const size_t sfi = BeginNode(out, "StringFileInfo", 0, 1);
        for (const auto &table : contents.tables) {
            const size_t st = BeginNode(out, table.name, 0, 1);
            for (const auto &[key, value] : table.strings) {
                const std::string text = Utf8ToUtf16Le(value) + std::string(2, '\0');
                const size_t s = BeginNode(out, key, static_cast<uint16_t>(text.size() / 2), 1);
                out += text;
                EndNode(out, s);
            }
            EndNode(out, st);
        }
        EndNode(out, sfi);
    }
    if (!contents.translations.empty()) {
        const size_t vfi = BeginNode(out, "VarFileInfo", 0, 1);
        const size_t var =
            BeginNode(out, "Translation", static_cast<uint16_t>(contents.translations.size() * 4), 0);
        for (const auto &[language, codePage] : contents.translations) {
            PutLe16(out, language);
            PutLe16(out, codePage);
        }
        EndNode(out, var);
        EndNode(out, vfi);
    }
    EndNode(out, root);
    return out;
}

std::optional<std::array<uint16_t, 4>> ParseDottedVersion(std::string_view text)
{
    std::array<uint16_t, 4> parts{0, 0, 0, 0};
    size_t index = 0;
    size_t i = 0;
    if (text.empty())
        return std::nullopt;
    for (;;) {
        if (index >= 4 || i >= text.size() || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        uint32_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<uint32_t>(text[i] - '0');
            if (value > 0xFFFF)
                return std::nullopt;
            ++i;
        }
        parts[index++] = static_cast<uint16_t>(value);
        if (i == text.size())
            return parts;
        if (text[i] != '.')
            return std::nullopt;
        ++i;
    }
}

} // namespace orvex
