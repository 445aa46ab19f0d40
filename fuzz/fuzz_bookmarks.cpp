// The bookmark reader on any bytes; what it reads, written and read again,
// comes back the same, and a second write gives the same bytes.
#include "core/BookmarkStore.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    orvex::BookmarkFault fault;
    const std::optional<orvex::BookmarkTree> tree = orvex::ParseBookmarkFile(bytes, &fault);
    if (!tree) {
        if (fault.reason.empty()) {
            std::abort();
        }
        return 0;
    }
    if (tree->empty()) {
        return 0;
    }
    const std::string written = orvex::SerializeBookmarks(*tree);
    const std::optional<orvex::BookmarkTree> again = orvex::ParseBookmarkFile(written);
    if (!again || orvex::SerializeBookmarks(*again) != written) {
        std::abort();
    }
    return 0;
}
