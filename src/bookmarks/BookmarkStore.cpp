#include "bookmarks/BookmarkStore.h"

#include "platform/Errors.h"
#include "platform/FileIO.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace orvex {

namespace {

const char *const kInvalidIndex = "不正なインデックス";
const char *const kDeclaredEncoding = "Shift_JIS";

// Files from Windows are CP932 though they declare Shift_JIS: "～" (0x8160)
// means U+FF5E and the NEC rows ("①") exist only there. The strict
// SHIFT_JIS of iconv rejects both, so every Shift_JIS spelling libxml2 may
// look up is pointed at CP932, for reading and for saving alike.
void UseCp932ForShiftJis()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlAddEncodingAlias("CP932", "SHIFT_JIS");
        xmlAddEncodingAlias("CP932", "SHIFT-JIS");
        xmlAddEncodingAlias("CP932", "SJIS");
    });
}

struct DocDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

bool NameIs(const xmlNode *node, const char *name)
{
    return node->name != nullptr && std::strcmp(reinterpret_cast<const char *>(node->name), name) == 0;
}

// Element children only: whitespace between elements (and comments) never
// count, so a hand-made file without line breaks reads like a written one.
std::vector<xmlNode *> ChildElements(xmlNode *node)
{
    std::vector<xmlNode *> elements;
    for (xmlNode *child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            elements.push_back(child);
        }
    }
    return elements;
}

std::string TextOf(xmlNode *node)
{
    xmlChar *content = xmlNodeGetContent(node);
    if (content == nullptr) {
        return std::string();
    }
    std::string text(reinterpret_cast<const char *>(content));
    xmlFree(content);
    return text;
}

BookmarkNode ReadEntry(xmlNode *element)
{
    const std::vector<xmlNode *> parts = ChildElements(element);
    BookmarkNode node;
    if (!parts.empty()) {
        node.caption = TextOf(parts.front());
    }
    if (NameIs(element, "directory")) {
        node.folder = true;
        node.url = kFolderMarker;
        for (size_t i = 1; i < parts.size(); ++i) {
            node.children.push_back(ReadEntry(parts[i]));
        }
    } else if (parts.size() >= 2) {
        // The element after "name" is "url"; a "file" without it keeps an
        // empty address.
        node.url = TextOf(parts[1]);
    }
    return node;
}

// Text as XML 1.0 can carry it: invalid UTF-8 becomes U+FFFD and control
// characters other than tab, line feed and carriage return are dropped.
// Written as they stand, they would make the whole file unreadable.
std::string XmlSafe(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        size_t len = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        }
        bool valid = len != 0 && i + len <= n;
        for (size_t k = 1; valid && k < len; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates, values past U+10FFFF and the two
        // non-characters XML forbids.
        if (valid && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                      (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)) {
            valid = false;
        }
        if (valid) {
            out.append(text, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

class Writer {
public:
    explicit Writer(xmlDoc *doc) : doc_(doc) {}

    void Text(xmlNode *parent, int spaces)
    {
        const std::string text = "\n" + std::string(static_cast<size_t>(spaces), ' ');
        xmlAddChild(parent, xmlNewDocText(doc_, reinterpret_cast<const xmlChar *>(text.c_str())));
    }

    xmlNode *Element(xmlNode *parent, const char *name)
    {
        xmlNode *element = xmlNewDocNode(doc_, nullptr, reinterpret_cast<const xmlChar *>(name), nullptr);
        xmlAddChild(parent, element);
        return element;
    }

    // An element whose text is `value`; an empty value leaves it without text.
    void TextElement(xmlNode *parent, const char *name, const std::string &value)
    {
        xmlNode *element = Element(parent, name);
        const std::string safe = XmlSafe(value);
        if (!safe.empty()) {
            xmlAddChild(element, xmlNewDocText(doc_, reinterpret_cast<const xmlChar *>(safe.c_str())));
        }
    }

    // `ancestors` is the number of folders above the node. The kind written
    // follows the children: a node without children is a "file" whatever
    // it was, so an empty folder comes back as a bookmark with its URL.
    void Entry(xmlNode *parent, const BookmarkNode &node, int ancestors)
    {
        const int d = ancestors == 0 ? 1 : ancestors + 2;
        if (node.children.empty()) {
            Text(parent, 2 * d);
            xmlNode *file = Element(parent, "file");
            Text(file, 2 * (d + 1));
            TextElement(file, "name", node.caption);
            Text(file, 2 * (d + 1));
            TextElement(file, "url", node.url);
            Text(file, 2 * d);
            return;
        }
        Text(parent, d == 1 ? 2 : 2 * (d - 1));
        xmlNode *directory = Element(parent, "directory");
        Text(directory, 2 * (d + 1));
        TextElement(directory, "name", node.caption);
        for (const BookmarkNode &child : node.children) {
            Entry(directory, child, ancestors + 1);
        }
    }

private:
    xmlDoc *doc_;
};

// The whole file, or false when libxml2 could not serialise it.
bool Serialize(const BookmarkTree &tree, std::string &out)
{
    UseCp932ForShiftJis();
    DocPtr doc(xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0")));
    xmlNode *root = xmlNewDocNode(doc.get(), nullptr, reinterpret_cast<const xmlChar *>("bookmark"), nullptr);
    xmlDocSetRootElement(doc.get(), root);
    Writer writer(doc.get());
    for (const BookmarkNode &node : tree) {
        writer.Entry(root, node, 0);
    }
    writer.Text(root, 0);

    xmlChar *memory = nullptr;
    int size = 0;
    // format = 0: the whitespace is exactly the text nodes put in above.
    xmlDocDumpFormatMemoryEnc(doc.get(), &memory, &size, kDeclaredEncoding, 0);
    if (memory == nullptr || size < 0) {
        if (memory != nullptr) {
            xmlFree(memory);
        }
        return false;
    }
    out.assign(reinterpret_cast<const char *>(memory), static_cast<size_t>(size));
    xmlFree(memory);
    return true;
}

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return ".";
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

bool EqualsIgnoringCase(const std::string &a, const char *b)
{
    const size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string BookmarkFilePath(const std::string &folder)
{
    std::string dir = folder.empty() ? CurrentFolder() : folder;
    if (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    const std::string prefix = dir == "/" ? dir : dir + "/";

    std::vector<std::string> matches;
    if (DIR *listing = opendir(dir.c_str())) {
        while (const dirent *entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (EqualsIgnoringCase(name, kBookmarkReadName) && FileExists(prefix + name)) {
                matches.push_back(name);
            }
        }
        closedir(listing);
    }
    if (matches.empty()) {
        return prefix + kBookmarkWriteName;
    }
    // Only a case-sensitive file system can hold several spellings; take
    // the same one every time so that readers and the writer agree.
    const auto rank = [](const std::string &name) {
        return name == kBookmarkReadName ? 0 : name == kBookmarkWriteName ? 1 : 2;
    };
    std::sort(matches.begin(), matches.end(), [&](const std::string &a, const std::string &b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a < b;
    });
    return prefix + matches.front();
}

BookmarkTree ParseBookmarks(std::string_view bytes)
{
    BookmarkTree tree;
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT32_MAX)) {
        return tree;
    }
    UseCp932ForShiftJis();
    // No network, no external entities, no messages on stderr: the file is
    // data, and a broken one just reads as empty.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    DocPtr doc(
        xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), kBookmarkReadName, nullptr, options));
    if (!doc) {
        return tree;
    }
    xmlNode *root = xmlDocGetRootElement(doc.get());
    if (root == nullptr || !NameIs(root, "bookmark")) {
        return tree;
    }
    for (xmlNode *entry : ChildElements(root)) {
        tree.push_back(ReadEntry(entry));
    }
    return tree;
}

std::string SerializeBookmarks(const BookmarkTree &tree)
{
    if (tree.empty()) {
        throw Error(kInvalidIndex);
    }
    std::string bytes;
    if (!Serialize(tree, bytes)) {
        throw Error(FormatMessage(msg::CannotCreateFile, kBookmarkWriteName));
    }
    return bytes;
}

BookmarkTree ReadBookmarks()
{
    std::string bytes;
    if (!ReadFileBytes(BookmarkFilePath(), bytes)) {
        return BookmarkTree();
    }
    return ParseBookmarks(bytes);
}

void WriteBookmarks(const BookmarkTree &tree)
{
    if (tree.empty()) {
        throw Error(kInvalidIndex);
    }
    const std::string path = BookmarkFilePath();
    std::string bytes;
    if (!Serialize(tree, bytes) || !WriteFileAtomic(path, bytes)) {
        throw Error(FormatMessage(msg::CannotCreateFile, path));
    }
}

} // namespace orvex
