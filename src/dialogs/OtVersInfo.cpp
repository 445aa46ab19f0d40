#include "dialogs/OtVersInfo.h"

#include "dialogs/VersionResource.h"
#include "platform/Errors.h"
#include "platform/SystemErrors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvex {

namespace {

const char *const kKeyNames[TOtVersInfo::kValueCount] = {
    "CompanyName",    "FileDescription",  "FileVersion", "InternalName",
    "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion",
};

[[noreturn]] void ThrowQueryError(const std::string &message)
{
    throw Error("QueryVersionInfo:" + message);
}

[[noreturn]] void ThrowFullPathError(int errorNumber)
{
    throw Error("GetFullPathName:" + SystemErrorText(errorNumber));
}

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

// GetFullPathName on POSIX paths: absolute against the working directory,
// "." and ".." and repeated separators resolved on the text. The result has
// no trailing "/" except for the root itself.
std::string ExpandFullPath(const std::string &name)
{
    if (name.empty() || name.find('\0') != std::string::npos)
        ThrowFullPathError(EINVAL);
    std::string path = name;
    if (path[0] != '/') {
        std::vector<char> cwd(PATH_MAX);
        while (!::getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE)
                ThrowFullPathError(errno);
            cwd.resize(cwd.size() * 2);
        }
        path = std::string(cwd.data()) + "/" + path;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        const std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back(); // ".." at the root stays at the root
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string full;
    for (const std::string &part : parts)
        full += "/" + part;
    return full.empty() ? "/" : full;
}

// The name the file system holds for `component` inside `dir`: the exact
// name when it exists, else the first entry (in sorted order, so the answer
// does not depend on directory order) that matches without regard to case.
std::string OnDiskName(const std::string &dir, const std::string &component)
{
    struct stat st {};
    if (::lstat((dir + "/" + component).c_str(), &st) == 0)
        return component;
    DIR *d = ::opendir(dir.empty() ? "/" : dir.c_str());
    if (!d)
        return component;
    std::vector<std::string> matches;
    while (dirent *entry = ::readdir(d)) {
        if (SameNameNoCase(entry->d_name, component))
            matches.emplace_back(entry->d_name);
    }
    ::closedir(d);
    if (matches.empty())
        return component;
    return *std::min_element(matches.begin(), matches.end());
}

// The long-name conversion of an expanded path, directory by directory.
std::string ConvertLong(const std::string &full)
{
    if (full == "/")
        return full;
    const size_t slash = full.rfind('/');
    const std::string dir = full.substr(0, slash); // "" for a name in the root
    const std::string last = full.substr(slash + 1);
    const std::string convertedDir = dir.empty() ? std::string() : ConvertLong(dir);
    return convertedDir + "/" + OnDiskName(convertedDir, last);
}

struct LocaleLanguage {
    const char *name; // language, or language_TERRITORY
    uint16_t langId;
};

// Locale names and Windows language identifiers. A territory not listed
// takes the identifier of its bare language.
const LocaleLanguage kLocaleTable[] = {
    {"ja", 0x0411},    {"en", 0x0409},    {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"de", 0x0407},    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"fr", 0x040C},    {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"it", 0x0410},    {"es", 0x0C0A},    {"es_MX", 0x080A},
    {"pt", 0x0816},    {"pt_BR", 0x0416}, {"nl", 0x0413},    {"nl_BE", 0x0813}, {"sv", 0x041D},
    {"da", 0x0406},    {"nb", 0x0414},    {"no", 0x0414},    {"fi", 0x040B},    {"pl", 0x0415},
    {"cs", 0x0405},    {"hu", 0x040E},    {"ru", 0x0419},    {"uk", 0x0422},    {"el", 0x0408},
    {"tr", 0x041F},    {"ko", 0x0412},    {"zh", 0x0804},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
    {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"th", 0x041E},    {"vi", 0x042A},    {"ar", 0x0401},
    {"he", 0x040D},
};

} // namespace

const char *TOtVersInfo::KeyName(int index)
{
    return index >= 0 && index < kValueCount ? kKeyNames[index] : nullptr;
}

TOtVersInfo::TOtVersInfo() : fileName_(OwnProgramFile()) {}

bool TOtVersInfo::IsFileNameStored() const
{
    std::string current;
    try {
        current = LongFullPathName(fileName_);
    } catch (const Error &) {
        return true; // a name that cannot even be expanded is not the default
    }
    return current != OwnProgramFile();
}

void TOtVersInfo::Load()
{
    if (loaded_)
        return;
    std::string errorText;
    std::optional<std::string> block = LoadVersionBlock(fileName_, errorText);
    if (!block)
        ThrowQueryError(errorText);
    block_ = std::move(*block);
    loaded_ = true;
}

std::string TOtVersInfo::Value(int index)
{
    const char *key = KeyName(index);
    if (!key)
        ThrowQueryError(VersionValueNotFoundText());
    return Query(key);
}

std::string TOtVersInfo::Query(const std::string &keyName)
{
    Load();

    std::optional<VersionValue> translation = QueryVersionValue(block_, "\\VarFileInfo\\Translation");
    const auto entries =
        translation ? ParseTranslations(translation->bytes) : std::vector<std::pair<uint16_t, uint16_t>>();
    // Without a single entry there is no block name to form; reading on would
    // mean reading past the value, so this is the same error as a missing value.
    if (entries.empty())
        ThrowQueryError(VersionValueNotFoundText());
    // The first entry in the user's language, else the first entry.
    const uint16_t userLanguage = UserDefaultLangID();
    auto chosen =
        std::find_if(entries.begin(), entries.end(), [&](const auto &e) { return e.first == userLanguage; });
    if (chosen == entries.end())
        chosen = entries.begin();

    char blockName[9];
    std::snprintf(blockName, sizeof blockName, "%04X%04X", chosen->first, chosen->second);
    std::optional<VersionValue> value =
        QueryVersionValue(block_, std::string("\\StringFileInfo\\") + blockName + "\\" + keyName);
    if (!value)
        ThrowQueryError(VersionValueNotFoundText());
    return Utf16TextToUtf8(value->bytes);
}

std::string OwnProgramFile()
{
    std::vector<char> buffer(PATH_MAX);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return std::string();
    return LongFullPathName(std::string(buffer.data(), static_cast<size_t>(n)));
}

uint16_t LangIdFromLocale(std::string_view locale)
{
    // "ll_TT.codeset@modifier": keep "ll" and "ll_TT".
    const size_t cut = locale.find_first_of(".@");
    const std::string_view base = locale.substr(0, cut);
    const std::string_view language = base.substr(0, base.find('_'));
    uint16_t languageOnly = 0;
    for (const LocaleLanguage &entry : kLocaleTable) {
        if (base == entry.name)
            return entry.langId;
        if (language == entry.name)
            languageOnly = entry.langId;
    }
    return languageOnly;
}

uint16_t UserDefaultLangID()
{
    constexpr uint16_t kEnglishUS = 0x0409;
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(variable);
        if (!value || !*value)
            continue;
        const std::string_view locale(value);
        if (locale == "C" || locale == "POSIX" || locale.substr(0, 2) == "C.")
            return kEnglishUS;
        const uint16_t id = LangIdFromLocale(locale);
        return id ? id : kEnglishUS;
    }
    return kEnglishUS;
}

std::string LongFullPathName(const std::string &name)
{
    return ConvertLong(ExpandFullPath(name));
}

} // namespace orvex
