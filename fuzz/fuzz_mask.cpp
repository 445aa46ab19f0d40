// The mask matcher against plain backtracking: the first byte splits the
// input into mask and address (both kept short for the reference).
#include "browser/UrlMask.h"
#include "platform/Errors.h"
#include "support/MaskReference.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 40) {
        return 0;
    }
    const size_t split = data[0] % size;
    const std::string mask(reinterpret_cast<const char *>(data) + 1, split > 0 ? split - 1 : 0);
    const std::string address(reinterpret_cast<const char *>(data) + (split > 0 ? split : 1),
                              size - (split > 0 ? split : 1));
    const std::vector<uint32_t> m = orvex::test::ReferenceDecode(mask);
    bool thrown = false;
    bool matched = false;
    try {
        matched = orvex::MatchesURLMask(address, mask);
        const orvex::MaskList list({mask});
        if (list.MatchesAny(address) != matched) {
            std::abort();
        }
    } catch (const orvex::Error &) {
        thrown = true;
    }
    if (thrown != !orvex::test::ReferenceMaskValid(m)) {
        std::abort();
    }
    if (!thrown && matched != orvex::test::ReferenceMatch(m, 0, orvex::test::ReferenceDecode(address), 0)) {
        std::abort();
    }
    return 0;
}
