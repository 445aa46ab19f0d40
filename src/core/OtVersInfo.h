// TOtVersInfo: reads the strings of a file's version resource (PE or ELF, see
// VersionResource.h) in the user's language, with the long full path rules
// of the Windows services it stands in for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

class TOtVersInfo {
public:
    // The eight values, by index.
    enum Index {
        CompanyName = 0,
        FileDescription = 1,
        FileVersion = 2,
        InternalName = 3,
        LegalCopyright = 4,
        OriginalFilename = 5,
        ProductName = 6,
        ProductVersion = 7,
    };
    static constexpr int kValueCount = 8;
    static const char *KeyName(int index); // "CompanyName" ...; nullptr out of range

    // FileName starts as the running program's own file in long form.
    TOtVersInfo();

    const std::string &FileName() const { return fileName_; }
    // To be set before the first query: the resource is loaded once and kept.
    void SetFileName(const std::string &fileName) { fileName_ = fileName; }
    // Whether FileName differs from its default (what a form would store).
    bool IsFileNameStored() const;

    // The value of index 0..7. Throws orvex::Error "QueryVersionInfo:..." when
    // the resource or the value cannot be had, or the index is out of range.
    std::string Value(int index);
    // The value query for any key name of the string table.
    std::string Query(const std::string &keyName);

private:
    void Load();

    std::string fileName_;
    std::string block_; // the whole version resource, once loaded
    bool loaded_ = false;
};

// The running program's file (/proc/self/exe) as a long full path.
std::string OwnProgramFile();

// The user's default language identifier (GetUserDefaultLangID), from the
// locale of LC_ALL, else LC_MESSAGES, else LANG; 0x0409 when none is set or
// the locale is "C"/"POSIX" or unknown.
uint16_t UserDefaultLangID();
// The language identifier of a locale name such as "ja_JP.UTF-8", "en_US",
// "de"; 0 when the language is not in the table.
uint16_t LangIdFromLocale(std::string_view locale);

// The long full path of a name (GetFullPathName followed by the long-name
// conversion): a relative name is taken against the working directory, "."
// and ".." and repeated "/" are resolved on the text (symbolic links are not
// followed, as the Windows service does not), and each component that exists
// is replaced by its name on disk when it matches only without regard to
// case. Components not found stay as given. Throws orvex::Error
// "GetFullPathName:..." when the name cannot be expanded (empty name, no
// working directory).
std::string LongFullPathName(const std::string &name);

} // namespace orvex
