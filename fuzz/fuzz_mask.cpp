// The mask matcher against plain backtracking: the first byte splits the
// input into masks (one per line, at most four) and an address, both kept
// short for the reference. A compiled list answers as the masks one by one.
#include "core/Errors.h"
#include "core/UrlMask.h"
#include "support/MaskReference.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 64) {
        return 0;
    }
    const size_t split = data[0] % size;
    const std::string masksText(reinterpret_cast<const char *>(data) + 1, split > 0 ? split - 1 : 0);
    const std::string address(reinterpret_cast<const char *>(data) + (split > 0 ? split : 1),
                              size - (split > 0 ? split : 1));
    std::vector<std::string> masks;
    size_t start = 0;
    for (size_t i = 0; i <= masksText.size() && masks.size() < 4; ++i) {
        if (i == masksText.size() || masksText[i] == '\n') {
            masks.push_back(masksText.substr(start, i - start));
            start = i + 1;
        }
    }
    bool anyInvalid = false;
    bool anyMatch = false;
    const std::vector<uint32_t> text = orvex::test::ReferenceDecode(address);
    for (const std::string &mask : masks) {
        const std::vector<uint32_t> m = orvex::test::ReferenceDecode(mask);
        bool thrown = false;
        bool matched = false;
        try {
            matched = orvex::MatchesURLMask(address, mask);
        } catch (const orvex::Error &) {
            thrown = true;
        }
        if (thrown != !orvex::test::ReferenceMaskValid(m)) {
            std::abort();
        }
        if (!thrown && matched != orvex::test::ReferenceMatch(m, 0, text, 0)) {
            std::abort();
        }
        anyInvalid = anyInvalid || thrown;
        anyMatch = anyMatch || matched;
    }
    bool listThrown = false;
    bool listMatched = false;
    try {
        const orvex::MaskList list(masks);
        listMatched = list.MatchesAny(address);
    } catch (const orvex::Error &) {
        listThrown = true;
    }
    if (listThrown != anyInvalid || (!listThrown && listMatched != anyMatch)) {
        std::abort();
    }
    return 0;
}
