#include "core/BookmarkStore.h"

#include "core/CodePage.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FileProblems.h"
#include "core/FileWatch.h"
#include "core/ProgramFolder.h"

#include <libxml/encoding.h>
#include <libxml/hash.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <mutex>

namespace orvex {

namespace {

const char *const kInvalidIndex = "不正なインデックス";
const char *const kDeclaredEncoding = "Shift_JIS";

void IgnoreGenericError(void *, const char *, ...) {}

// Files from Windows are CP932 though they declare Shift_JIS: "～" (0x8160)
// means U+FF5E and the NEC rows ("①") exist only there. The strict
// SHIFT_JIS of iconv rejects both, so every Shift_JIS spelling libxml2 may
// look up is pointed at CP932, for reading and for saving alike.
void UseCp932ForShiftJis()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // Errors are taken from the parser and told in Japanese; libxml2's
        // own lines on stderr (encoding errors come that way) say nothing more.
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
        xmlAddEncodingAlias("CP932", "SHIFT_JIS");
        xmlAddEncodingAlias("CP932", "SHIFT-JIS");
        xmlAddEncodingAlias("CP932", "SJIS");
    });
}

struct DocDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

// Text as XML 1.0 can carry it: invalid UTF-8 becomes U+FFFD and control
// characters other than tab, line feed and carriage return are dropped.
// Written as they stand, they would make the whole file unreadable.
std::string XmlSafe(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char32_t cp = DecodeUtf8At(text, i).value_or(0xFFFD);
        // The two non-characters XML forbids become U+FFFD too.
        if (cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') {
            AppendUtf8(out, cp == 0xFFFE || cp == 0xFFFF ? 0xFFFD : cp);
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

// The whole file, or nullopt when libxml2 could not serialise it.
std::optional<std::string> Serialize(const BookmarkTree &tree)
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
    // Serialised as UTF-8 and encoded by the one encoder of the program, so
    // that the exact round-trip rule holds here too.
    xmlDocDumpFormatMemoryEnc(doc.get(), &memory, &size, "UTF-8", 0);
    if (memory == nullptr || size < 0) {
        if (memory != nullptr) {
            xmlFree(memory);
        }
        return std::nullopt;
    }
    std::string utf8(reinterpret_cast<const char *>(memory), static_cast<size_t>(size));
    xmlFree(memory);
    const std::string utf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    if (utf8.compare(0, utf8Declaration.size(), utf8Declaration) != 0) {
        return std::nullopt;
    }
    utf8.replace(0, utf8Declaration.size(),
                 std::string("<?xml version=\"1.0\" encoding=\"") + kDeclaredEncoding + "\"?>");
    // Outside the declaration every character beyond ASCII is element text,
    // where a character reference stands for it.
    std::optional<std::string> out = EncodeCp932(utf8, Unencodable::CharacterRef);
    // CP932 bytes that happen to form UTF-8 would be read back as UTF-8:
    // then every character beyond ASCII goes as a reference.
    if (out && IsValidUtf8(*out) &&
        std::any_of(out->begin(), out->end(), [](char c) { return (c & 0x80) != 0; })) {
        out->clear();
        size_t i = 0;
        while (i < utf8.size()) {
            const char32_t cp = DecodeUtf8At(utf8, i).value_or(0xFFFD);
            if (cp < 0x80) {
                *out += static_cast<char>(cp);
            } else {
                *out += "&#" + std::to_string(static_cast<uint32_t>(cp)) + ";";
            }
        }
    }
    return out;
}

bool DeclaresEntities(xmlDtd *dtd)
{
    return dtd != nullptr &&
           ((dtd->entities != nullptr && xmlHashSize(static_cast<xmlHashTablePtr>(dtd->entities)) > 0) ||
            (dtd->pentities != nullptr && xmlHashSize(static_cast<xmlHashTablePtr>(dtd->pentities)) > 0));
}

// The encoding the declaration names, or "" when there is none.
std::string DeclaredEncoding(std::string_view bytes)
{
    if (bytes.substr(0, 5) != "<?xml") {
        return std::string();
    }
    const std::string_view head = bytes.substr(0, bytes.find("?>"));
    const size_t at = head.find("encoding");
    if (at == std::string_view::npos) {
        return std::string();
    }
    size_t i = head.find_first_of("\"'", at);
    if (i == std::string_view::npos) {
        return std::string();
    }
    const size_t end = head.find(head[i], i + 1);
    std::string name(head.substr(i + 1, end == std::string_view::npos ? 0 : end - i - 1));
    for (char &c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

// A file that declares Shift_JIS (or nothing) but is UTF-8 beyond doubt: a
// byte-order mark, or characters beyond ASCII that all form valid UTF-8,
// which Shift_JIS text practically never does (and which the writer never
// leaves).
bool ReallyUtf8(std::string_view bytes)
{
    const std::string declared = DeclaredEncoding(bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0));
    if (!declared.empty() && declared != "SHIFT_JIS" && declared != "SHIFT-JIS" && declared != "SJIS" &&
        declared != "CP932" && declared != "WINDOWS-31J" && declared != "UTF-8") {
        return false;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return true;
    }
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; }) &&
           IsValidUtf8(bytes);
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

std::string BookmarkFolder()
{
    return WorkingFolder();
}

std::string BookmarkFilePath(const std::string &folder)
{
    std::string dir = folder;
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

std::optional<BookmarkTree> ParseBookmarkFile(std::string_view bytes, BookmarkFault *fault)
{
    const auto refuse = [fault](int line, const char *reason) {
        if (fault != nullptr) {
            *fault = BookmarkFault{line, reason};
        }
        return std::nullopt;
    };
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT32_MAX)) {
        return refuse(0, msg::ReasonNotWellFormed);
    }
    UseCp932ForShiftJis();
    // Read as a stream, so that the document never stands whole in memory
    // beside the tree. No network, no external entities, no entity
    // substitution, no size beyond libxml2's safe limits, no messages on
    // stderr: the file is data.
    bool utf8 = ReallyUtf8(bytes);
    // A Shift_JIS file is decoded here, by the program's own table, which is
    // faster than libxml2's conversion; a file with an undefined character
    // goes to libxml2 as it is, which then tells where it is.
    std::optional<std::string> decoded;
    const std::string declared = DeclaredEncoding(bytes);
    if (!utf8 && (declared == "SHIFT_JIS" || declared == "SHIFT-JIS" || declared == "SJIS" ||
                  declared == "CP932" || declared == "WINDOWS-31J")) {
        decoded = Cp932ToUtf8Exact(bytes);
    }
    if (decoded) {
        bytes = *decoded;
        utf8 = true;
    }
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT |
                        (utf8 ? XML_PARSE_IGNORE_ENC : 0);
    std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
        xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), kBookmarkReadName,
                           utf8 ? "UTF-8" : nullptr, options),
        xmlFreeTextReader);
    if (!reader) {
        return refuse(0, msg::ReasonNotWellFormed);
    }
    struct FirstError {
        int code = 0;
        int line = 0;
    } first;
    xmlTextReaderSetStructuredErrorHandler(
        reader.get(),
        [](void *data, xmlErrorPtr error) {
            auto *seen = static_cast<FirstError *>(data);
            if (seen->code == 0 && error != nullptr && error->level >= XML_ERR_ERROR) {
                seen->code = error->code;
                seen->line = error->line;
            }
        },
        &first);

    // What each open element is to the tree.
    enum class Role { Root, Entry, Text, Skipped };
    struct Open {
        Role role;
        BookmarkNode *node; // Entry: its node
        bool folder;
        int elements; // Entry: child elements met so far
    };
    BookmarkTree tree;
    std::vector<Open> open;
    std::string *text = nullptr; // the caption or address being read
    bool rootSeen = false;
    size_t textDepth = 0;
    int result = 0;
    while ((result = xmlTextReaderRead(reader.get())) == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
            // An entity referenced many times would be copied into every
            // text that refers to it: a few kilobytes could become
            // gigabytes. A file declaring entities is refused.
            // (The node, not the document: taking the document would keep it
            // whole and hand it over to us.)
            xmlNode *node = xmlTextReaderCurrentNode(reader.get());
            if (node != nullptr && node->type == XML_DTD_NODE &&
                DeclaresEntities(reinterpret_cast<xmlDtd *>(node))) {
                const size_t at = bytes.find("<!ENTITY");
                return refuse(
                    1 + static_cast<int>(std::count(
                            bytes.begin(), bytes.begin() + (at == std::string_view::npos ? 0 : at), '\n')),
                    msg::ReasonEntities);
            }
        } else if (type == XML_READER_TYPE_ELEMENT) {
            const bool empty = xmlTextReaderIsEmptyElement(reader.get()) == 1;
            const char *name = reinterpret_cast<const char *>(xmlTextReaderConstLocalName(reader.get()));
            Open element{Role::Skipped, nullptr, false, 0};
            if (open.empty()) {
                if (name == nullptr || std::strcmp(name, "bookmark") != 0) {
                    return refuse(xmlTextReaderGetParserLineNumber(reader.get()), msg::ReasonNoBookmarkRoot);
                }
                element.role = Role::Root;
                rootSeen = true;
            } else if (text == nullptr) {
                Open &parent = open.back();
                BookmarkNode *entry = nullptr;
                if (parent.role == Role::Root) {
                    tree.emplace_back();
                    entry = &tree.back();
                } else if (parent.role == Role::Entry) {
                    const int index = parent.elements++;
                    if (index == 0) {
                        element.role = Role::Text; // "name"
                        text = &parent.node->caption;
                    } else if (parent.folder) {
                        parent.node->children.emplace_back();
                        entry = &parent.node->children.back();
                    } else if (index == 1) {
                        element.role = Role::Text; // "url"
                        text = &parent.node->url;
                    }
                }
                if (entry != nullptr) {
                    element =
                        Open{Role::Entry, entry, name != nullptr && std::strcmp(name, "directory") == 0, 0};
                    if (element.folder) {
                        entry->folder = true;
                        entry->url = kFolderMarker;
                    }
                }
                if (element.role == Role::Text) {
                    textDepth = open.size();
                }
            }
            if (!empty) {
                open.push_back(element);
            } else if (element.role == Role::Text) {
                text = nullptr;
            }
        } else if (type == XML_READER_TYPE_END_ELEMENT) {
            if (!open.empty()) {
                open.pop_back();
            }
            if (text != nullptr && open.size() == textDepth) {
                text = nullptr;
            }
        } else if (text != nullptr &&
                   (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                    type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE || type == XML_READER_TYPE_WHITESPACE)) {
            if (const xmlChar *value = xmlTextReaderConstValue(reader.get())) {
                *text += reinterpret_cast<const char *>(value);
            }
        }
    }
    if (result != 0 || first.code != 0) {
        const int code = first.code;
        return refuse(first.line != 0 ? first.line : xmlTextReaderGetParserLineNumber(reader.get()),
                      code == XML_ERR_INVALID_CHAR || code == XML_ERR_INVALID_ENCODING ||
                              code == XML_ERR_UNSUPPORTED_ENCODING || code == XML_I18N_CONV_FAILED
                          ? msg::ReasonEncoding
                      : code == XML_ERR_ENTITY_LOOP ? msg::ReasonEntities
                                                    : msg::ReasonNotWellFormed);
    }
    if (!rootSeen) {
        return refuse(0, msg::ReasonNotWellFormed);
    }
    return tree;
}

std::string SerializeBookmarks(const BookmarkTree &tree)
{
    if (tree.empty()) {
        throw Error(kInvalidIndex);
    }
    std::optional<std::string> bytes = Serialize(tree);
    if (!bytes) {
        throw Error(FormatMessage(msg::CannotCreateFile, kBookmarkWriteName));
    }
    return std::move(*bytes);
}

std::shared_ptr<const BookmarkFile> ReadBookmarkFile()
{
    static FileCache<BookmarkFile> cache;
    const std::shared_ptr<const BookmarkFile> file =
        cache.Get(BookmarkFilePath(), kMaxListFileBytes, [](const std::string &path, FileContent content) {
            BookmarkFile read;
            switch (content.state) {
            case FileRead::Missing:
                break;
            case FileRead::Unreadable:
                read.unreadable = true;
                read.problem = FormatMessage(msg::CannotOpenFile, path);
                break;
            case FileRead::TooLarge:
                read.unreadable = true;
                read.problem = FileTooLargeText(path);
                break;
            case FileRead::Read: {
                // An empty file is no bookmark file, yet nothing is lost over it.
                if (content.bytes.empty()) {
                    break;
                }
                BookmarkFault fault;
                std::optional<BookmarkTree> tree = ParseBookmarkFile(content.bytes, &fault);
                if (tree) {
                    read.tree = std::move(*tree);
                } else {
                    read.unreadable = true;
                    read.problem = FormatMessage(
                        FormatMessage(FormatMessage(msg::UnreadableFile, path), std::to_string(fault.line)),
                        fault.reason);
                }
                break;
            }
            }
            return read;
        });
    // Told once per change of the file, outside the cache's lock.
    if (file->unreadable && !file->told) {
        file->told = true;
        ReportFileProblem(file->problem);
    }
    return file;
}

void WriteBookmarks(const BookmarkTree &tree)
{
    if (tree.empty()) {
        throw Error(kInvalidIndex);
    }
    const std::string path = BookmarkFilePath();
    const std::optional<std::string> bytes = Serialize(tree);
    if (!bytes) {
        throw Error(FormatMessage(msg::CannotCreateFile, path));
    }
    if (ReadBookmarkFile()->unreadable) {
        KeepBackupBeforeSaving(path);
    }
    if (!WriteFileAtomic(path, *bytes)) {
        throw Error(SaveFailedText(msg::CannotCreateFile, path));
    }
}

} // namespace orvex
