// The tab bar reads four colour keys per tab at every repaint. Times one
// repaint's worth of reads for 200 tabs against a real config.ini, while the
// file is freshly written (content compared at each read, since file times
// are too coarse to prove it unchanged) and once it has settled (a stat per
// read). A repaint has 16 ms.
#include "core/ProfileFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double RepaintMs(const std::string &path)
{
    const char *keys[] = {"ActivateChColor", "ActivateBGColor", "DeActivateChColor", "DeActivateBGColor"};
    size_t total = 0;
    const int rounds = 20;
    const auto start = Clock::now();
    for (int round = 0; round < rounds; ++round) {
        for (int tab = 0; tab < 200; ++tab) {
            for (const char *key : keys) {
                total += orvex::GetPrivateProfileString("Option_Tab", key, "clBtnFace", path).size();
            }
        }
    }
    const auto elapsed = Clock::now() - start;
    if (total == 0) {
        std::puts("no values read");
    }
    return std::chrono::duration<double, std::milli>(elapsed).count() / rounds;
}

} // namespace

int main()
{
    char folder[] = "/tmp/orvex-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    const std::string path = std::string(folder) + "/config.ini";
    const char *writes[][3] = {{"Option_Main", "MozPath", "/opt/gecko"},
                               {"Option_Main", "Mozilla", "0"},
                               {"Option_Window", "BookMark", "0"},
                               {"Option_Window", "AddressBar", "0"},
                               {"Option_Window", "NewWindow_Active", "1"},
                               {"Option_advertisemen", "CloseURL", "1"},
                               {"Option_Tab", "fix", "0"},
                               {"Option_Tab", "MaxSize", "75"},
                               {"Option_Tab", "Len", "0"},
                               {"Option_Tab", "MaxLen", "0"},
                               {"Option_Tab", "TabType", "0"},
                               {"Option_Tab", "ActivateChColor", "clWindowText"},
                               {"Option_Tab", "ActivateBGColor", "clBtnFace"},
                               {"Option_Tab", "DeActivateChColor", "clWindowText"},
                               {"Option_Tab", "DeActivateBGColor", "$00FF8000"},
                               {"Option_StartUp", "Type", "0"},
                               {"Option_StartUp", "Path", ""}};
    for (const auto &w : writes) {
        orvex::WritePrivateProfileString(w[0], w[1], w[2], path);
    }
    std::printf("200 tabs x 4 colour keys, just written:  %.3f ms per repaint\n", RepaintMs(path));

    // Once the file has been left alone for a few seconds its stamp alone
    // proves it unchanged.
    sleep(4);
    std::printf("200 tabs x 4 colour keys, settled file:  %.3f ms per repaint\n", RepaintMs(path));

    unlink(path.c_str());
    rmdir(folder);
    return 0;
}
