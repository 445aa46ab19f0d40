#include "browser/EngineLoader.h"

#include "core/Errors.h"
#include "core/ProgramFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace orvex {
namespace {

// A "Gecko" module in the working folder that was built for another contract
// is refused by name before anything of it runs, every time it is asked for.
TEST(EngineLoader, AModuleOfAnotherContractIsRefusedNamingTheFile)
{
    const std::string saved = WorkingFolder();
    ASSERT_EQ(::chdir(ORVEX_WRONG_CONTRACT_FOLDER), 0);
    const std::string module = WorkingFolder() + "mozctl.so";
    EXPECT_EQ(FindEngineModule(EngineKind::Gecko), module);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            CreateWebBrowser(EngineKind::Gecko, nullptr);
            ADD_FAILURE() << "loaded";
        } catch (const Error &e) {
            EXPECT_EQ(std::string(e.what()),
                      "エンジン モジュール " + module +
                          " はこのバージョンの Orvex 用ではありません (契約バージョン " +
                          std::to_string(EngineContractVersion + 1) + "、必要なのは " +
                          std::to_string(EngineContractVersion) + ")");
        }
    }
    ASSERT_EQ(::chdir(saved.c_str()), 0);
}

} // namespace
} // namespace orvex
