// The settings file on any bytes: a write changes what its own key reads and
// nothing else, and a batch of writes leaves the bytes the writes leave one
// by one. The first bytes choose the writes; the rest is the file.
#include "platform/FileIO.h"
#include "platform/ProfileFile.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char *const kSections[] = {"General", "Bar", "general", "テスト", "a", "["};
const char *const kKeys[] = {"LastEngine", "JBar", "x", "キー", "K", "lastengine"};
const char *const kValues[] = {"IE", "", " spaced ", "\"q\"", "値", "🙂", "ﾃｽﾄ", "a=b"};

std::string Path()
{
    static const std::string path = "/dev/shm/orvex-fuzz-" + std::to_string(getpid()) + ".ini";
    return path;
}

std::vector<std::optional<std::string>> ReadAll()
{
    std::vector<std::optional<std::string>> values;
    for (const char *section : kSections) {
        for (const char *key : kKeys) {
            values.push_back(orvex::ReadProfileValue(Path(), section, key));
        }
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3) {
        return 0;
    }
    const std::string file(reinterpret_cast<const char *>(data) + 3, size - 3);
    struct Write {
        size_t section, key, value;
    };
    std::vector<Write> writes;
    for (size_t i = 0; i < 3; ++i) {
        writes.push_back(Write{data[i] % 6u, (data[i] / 6u) % 6u, (data[i] / 36u) % 8u});
    }

    orvex::ClearProfileCache();
    if (!orvex::WriteFileAtomic(Path(), file)) {
        return 0;
    }
    for (const Write &w : writes) {
        std::vector<std::optional<std::string>> before = ReadAll();
        if (!orvex::WritePrivateProfileString(kSections[w.section], kKeys[w.key], kValues[w.value], Path())) {
            continue;
        }
        // Only the written key (and the same key under another spelling of
        // the same names) may read differently.
        std::vector<std::optional<std::string>> after = ReadAll();
        const std::optional<std::string> written =
            orvex::ReadProfileValue(Path(), kSections[w.section], kKeys[w.key]);
        if (!written) {
            std::abort();
        }
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i] != after[i] && after[i] != written) {
                std::abort();
            }
        }
    }
    std::string oneByOne;
    orvex::ReadFileBytes(Path(), oneByOne);

    orvex::ClearProfileCache();
    orvex::WriteFileAtomic(Path(), file);
    {
        orvex::ProfileBatch batch(Path());
        for (const Write &w : writes) {
            orvex::WritePrivateProfileString(kSections[w.section], kKeys[w.key], kValues[w.value], Path());
        }
        batch.Commit();
    }
    std::string batched;
    orvex::ReadFileBytes(Path(), batched);
    if (batched != oneByOne) {
        std::abort();
    }
    return 0;
}
