// The code page and line list rules on any bytes: decoding always gives
// UTF-8, and any UTF-8 text written by the file rules reads back unchanged.
#include "platform/CodePage.h"
#include "platform/LineList.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::string text = orvex::DecodeFileText(bytes);
    if (!orvex::IsValidUtf8(text) || !orvex::IsValidUtf8(orvex::Cp932ToUtf8(bytes))) {
        std::abort();
    }
    // Text as it stands in memory always reads back as written.
    if (orvex::DecodeFileText(orvex::EncodeFileText(text)) != text) {
        std::abort();
    }
    std::string cp932;
    if (orvex::Utf8ToCp932(text, cp932) && orvex::Cp932ToUtf8(cp932) != text) {
        std::abort(); // a CP932 form must be exact
    }
    if (!orvex::EncodeCp932(text, cp932, orvex::Unencodable::CharacterRef)) {
        std::abort();
    }
    const std::vector<std::string> lines = orvex::SplitLines(text);
    if (orvex::SplitLines(orvex::JoinLines(lines)) != lines) {
        std::abort();
    }
    return 0;
}
