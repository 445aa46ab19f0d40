#include "platform/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace orvex {

namespace {

constexpr char kCodePage[] = "CP932";
constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// One conversion descriptor per direction, opened on first use and kept, so
// the many small conversions of the profile reader cost no open/close.
class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible. Returns the number of input bytes left
    // unconverted (0 on full success); `error` tells why it stopped.
    size_t Run(std::string_view in, std::string &out, int &error)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr); // reset shift state
        char *inPtr = const_cast<char *>(in.data());
        size_t inLeft = in.size();
        char buffer[1024];
        error = 0;
        while (inLeft > 0) {
            char *outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
                error = errno;
                return inLeft;
            }
        }
        return 0;
    }

private:
    iconv_t cd_;
};

Converter &ToUtf8()
{
    thread_local Converter converter("UTF-8", kCodePage);
    return converter;
}

Converter &FromUtf8()
{
    thread_local Converter converter(kCodePage, "UTF-8");
    return converter;
}

bool IsAscii(std::string_view bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string Cp932ToUtf8(std::string_view bytes)
{
    if (IsAscii(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    Converter &converter = ToUtf8();
    if (!converter.Usable()) {
        return std::string(bytes);
    }
    while (!bytes.empty()) {
        int error = 0;
        const size_t left = converter.Run(bytes, out, error);
        if (left == 0) {
            break;
        }
        // An undefined or cut-off sequence: one replacement character per
        // offending byte, then carry on after it.
        out += kReplacement;
        bytes.remove_prefix(bytes.size() - left + 1);
    }
    return out;
}

bool Utf8ToCp932(std::string_view utf8, std::string &out)
{
    out.clear();
    if (IsAscii(utf8)) {
        out.assign(utf8);
        return true;
    }
    Converter &converter = FromUtf8();
    if (!converter.Usable()) {
        return false;
    }
    int error = 0;
    if (converter.Run(utf8, out, error) != 0) {
        return false;
    }
    // A best-fit substitution would come back as another character: only an
    // exact round trip counts as a CP932 form.
    return Cp932ToUtf8(out) == utf8;
}

std::string DecodeFileText(std::string_view bytes)
{
    if (bytes.substr(0, kBom.size()) == kBom) {
        return std::string(bytes.substr(kBom.size()));
    }
    if (IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return Cp932ToUtf8(bytes);
}

std::string EncodeFileText(std::string_view utf8)
{
    std::string encoded;
    // CP932 text that also reads as valid UTF-8 (half-width katakana can)
    // would be misread by DecodeFileText, so it goes out as UTF-8 with a mark.
    if (Utf8ToCp932(utf8, encoded) && (IsAscii(encoded) || !IsValidUtf8(encoded))) {
        return encoded;
    }
    std::string marked(kBom);
    marked.append(utf8);
    return marked;
}

} // namespace orvex
