#include "browser/EngineLoader.h"

#include "core/Errors.h"
#include "core/ProgramFolder.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace orvex {
namespace {

// A "Gecko" module in the Gecko folder of the settings that was built for
// another contract, newer or older, is refused by name before anything of it
// runs, every time it is asked for. The working folder plays no part.
TEST(EngineLoader, AModuleOfAnotherContractIsRefusedNamingTheFile)
{
    const std::pair<const char *, int> modules[] = {{ORVEX_NEWER_CONTRACT_FOLDER, EngineContractVersion + 1},
                                                    {ORVEX_OLDER_CONTRACT_FOLDER, EngineContractVersion - 1}};
    for (const auto &[folder, version] : modules) {
        test::TempFolder program;
        program.Write("config.ini", std::string("[Option_Main]\r\nMozilla=1\r\nMozPath=") + folder + "\r\n");
        SetProgramFolderOverride(program.Path() + "/");
        const std::string module = std::string(folder) + "/mozctl.so";
        EXPECT_EQ(FindEngineModule(EngineKind::Gecko), module);
        EXPECT_THROW(PrepareEngine(EngineKind::Gecko), Error);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                CreateWebBrowser(EngineKind::Gecko, nullptr);
                ADD_FAILURE() << "loaded";
            } catch (const Error &e) {
                EXPECT_EQ(std::string(e.what()),
                          "エンジン モジュール " + module +
                              " はこのバージョンの Orvex 用ではありません (契約バージョン " +
                              std::to_string(version) + "、必要なのは " +
                              std::to_string(EngineContractVersion) + ")");
            }
        }
        SetProgramFolderOverride("");
    }
}

} // namespace
} // namespace orvex
