// The bookmark reader on any bytes; what it reads, written and read again,
// comes back the same, and a second write gives the same bytes.
#include "bookmarks/BookmarkStore.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    orvex::BookmarkTree tree;
    int line = 0;
    std::string reason;
    if (!orvex::ParseBookmarkFile(bytes, tree, line, reason)) {
        if (!tree.empty() || reason.empty()) {
            std::abort();
        }
        return 0;
    }
    if (tree.empty()) {
        return 0;
    }
    const std::string written = orvex::SerializeBookmarks(tree);
    orvex::BookmarkTree again;
    if (!orvex::ParseBookmarkFile(written, again, line, reason) ||
        orvex::SerializeBookmarks(again) != written) {
        std::abort();
    }
    return 0;
}
