// Makes the texts the engine draws into pages (a file field's "no file
// selected", the notes of form checking, the file count) Japanese, as the
// rest of the program is, whatever the user's locale.
//
// The engine looks its texts up with gettext in its own domain. Two things
// stand in the way: the Japanese catalogue Debian ships for it was last
// translated years ago and lacks the newer texts, and under the C locale
// gettext translates nothing at all. So the domain is bound to the catalogue
// beside this file (the system's Japanese one with the missing texts added,
// made at build time) and the process's message locale is set to C.UTF-8,
// the one locale every current C library has, under whose name the
// catalogue is filed. LANGUAGE would come before the locale's name, so it
// goes.
#include "PageProcess.h"

#include <clocale>
#include <cstdlib>
#include <dlfcn.h>
#include <libintl.h>
#include <string>

namespace {

constexpr char kDomain[] = "WebKitGTK-4.1";
constexpr char kLocale[] = "C.UTF-8";

std::string OwnFolder()
{
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void *>(&OwnFolder), &info) || !info.dli_fname)
        return {};
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

namespace orvex::webkit::page {

void UseJapaneseTexts()
{
    const std::string folder = OwnFolder();
    if (folder.empty() || !std::setlocale(LC_MESSAGES, kLocale))
        return;
    ::bindtextdomain(kDomain, folder.c_str());
    ::bind_textdomain_codeset(kDomain, "UTF-8");
    // unsetenv only closes up the list it finds the name in: a reader on
    // another thread sees the list before or after, never freed memory.
    if (std::getenv("LANGUAGE"))
        ::unsetenv("LANGUAGE");
}

} // namespace orvex::webkit::page
