// Version resources in the Windows VS_VERSIONINFO layout: finding the block
// in a PE file (resource directory, type RT_VERSION) or in an ELF file (the
// section ".orvex_version" that the build embeds in Orvex's own modules),
// VerQueryValue-style queries on the block, and a writer for such blocks.
//
// Block layout, every node alike: WORD wLength (bytes of the node with its
// children), WORD wValueLength (in WCHARs for text, bytes for binary), WORD
// wType (1 text, 0 binary), the key as NUL-terminated UTF-16LE, padding to a
// 32-bit boundary, the value, padding, then the children up to wLength.
// VS_VERSION_INFO holds VS_FIXEDFILEINFO as its value and the children
// StringFileInfo (StringTable nodes named like "041104B0", holding String
// nodes) and VarFileInfo (a Var "Translation" of language/code-page pairs).
//
// Everything here reads untrusted bytes: every offset and length is checked
// against the data, and a damaged block reads as "not found", never beyond.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvex {

// The ELF section that carries a module's version block.
inline constexpr const char *kVersionSectionName = ".orvex_version";

// The resource type of version resources in PE files.
inline constexpr uint32_t kRtVersion = 16;

// Why the version block of a file could not be had. The texts mirror the
// messages of the Windows version services (see VersionLoadErrorText).
enum class VersionLoadError {
    None,
    NoResourceSection, // neither a PE with resources nor an ELF with the section
    NoVersionResource, // a resource directory without RT_VERSION, or a damaged block
};

// Finds the VS_VERSIONINFO block in the bytes of a PE or ELF file and returns
// exactly its wLength bytes.
std::optional<std::string> FindVersionBlock(std::string_view fileBytes, VersionLoadError *why = nullptr);

// Reads a file and finds its version block. On failure returns nullopt and
// sets `errorText` to the reason: the system's message for an unreadable
// file, else the text of the VersionLoadError.
std::optional<std::string> LoadVersionBlock(const std::string &path, std::string &errorText);

// The message text of a load error, as the Windows services word it.
std::string VersionLoadErrorText(VersionLoadError error);
// The message for a query path that names no value in the block.
std::string VersionValueNotFoundText();

// A value found by QueryVersionValue: the raw bytes and whether the node
// holds text (UTF-16LE) or binary data.
struct VersionValue {
    std::string bytes;
    bool isText = false;
};

// VerQueryValue: `subBlock` is a path of keys separated by "\" (for example
// "\VarFileInfo\Translation" or "\StringFileInfo\041104B0\FileVersion"),
// matched without regard to case; "\" alone is the root's VS_FIXEDFILEINFO.
// A text value reaches to the end of its node (writers disagree on whether
// wValueLength counts bytes or characters).
std::optional<VersionValue> QueryVersionValue(std::string_view block, std::string_view subBlock);

// UTF-16LE text up to its first NUL (or its end), as UTF-8.
std::string Utf16TextToUtf8(std::string_view utf16le);
// UTF-8 text as UTF-16LE, without a terminator.
std::string Utf8ToUtf16Le(std::string_view utf8);

// The entries of a "Translation" value: (language, code page) pairs.
std::vector<std::pair<uint16_t, uint16_t>> ParseTranslations(std::string_view bytes);

// What the writer puts into a block.
struct VersionBlockContents {
    // VS_FIXEDFILEINFO file and product version as four parts (major, minor,
    // build, revision); absent means no fixed info (wValueLength 0).
    std::optional<std::array<uint16_t, 4>> fixedVersion;
    struct StringTable {
        std::string name; // "041104B0"
        // Key and value in UTF-8; the writer adds the terminating NUL. A
        // value may carry NULs of its own.
        std::vector<std::pair<std::string, std::string>> strings;
    };
    std::vector<StringTable> tables;
    std::vector<std::pair<uint16_t, uint16_t>> translations;
};

// Produces a VS_VERSIONINFO block as the resource compiler lays it out.
std::string BuildVersionBlock(const VersionBlockContents &contents);

// "1.2.3.4", "1.2" ... as the four parts of a fixed version (missing parts
// are 0); nullopt when the text is not dotted decimal numbers up to 65535.
std::optional<std::array<uint16_t, 4>> ParseDottedVersion(std::string_view text);

} // namespace orvex
