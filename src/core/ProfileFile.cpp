#include "core/ProfileFile.h"

#include "core/CodePage.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FileProblems.h"
#include "core/FileWatch.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace orvex {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kMaxValueBytes = 2047;

// How the file's bytes are stored. A file that is neither marked nor valid
// UTF-8 is CP932 (pure ASCII counts as CP932: new text goes out in CP932).
enum class Encoding { Cp932, Utf8, Utf8Bom };

struct KeyEntry {
    std::string value; // UTF-8, unquoted, capped
    size_t valueStart; // raw offsets of the trimmed value
    size_t lineEnd;    // end of the line's content, before its break
};

struct Section {
    // Where a new key goes: after the section's last key line (or its header).
    size_t insertAt = 0;
    bool insertNeedsBreak = false;                  // that line is the last and has no break
    std::unordered_map<std::string, KeyEntry> keys; // folded name -> first entry
};

struct ParsedFile {
    std::string raw;
    Encoding encoding = Encoding::Cp932;
    std::unordered_map<std::string, Section> sections; // folded name -> first section
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Names match without regard to ASCII case; other characters as they are.
std::string Fold(std::string_view utf8)
{
    std::string folded(utf8);
    for (char &c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

Encoding DetectEncoding(std::string_view raw)
{
    if (raw.substr(0, kBom.size()) == kBom) {
        return Encoding::Utf8Bom;
    }
    if (!IsValidUtf8(raw)) {
        return Encoding::Cp932;
    }
    for (const char c : raw) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return Encoding::Utf8;
        }
    }
    return Encoding::Cp932;
}

std::string ToUtf8(std::string_view raw, Encoding encoding)
{
    return encoding == Encoding::Cp932 ? Cp932ToUtf8(raw) : std::string(raw);
}

std::optional<std::string> FromUtf8(std::string_view utf8, Encoding encoding)
{
    return encoding == Encoding::Cp932 ? Utf8ToCp932(utf8) : std::string(utf8);
}

// Bytes a character takes in CP932: one for ASCII and half-width katakana,
// two for the rest (characters CP932 lacks count as two as well).
size_t Cp932Width(char32_t cp)
{
    return cp < 0x80 || (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
}

// Cuts UTF-8 text to at most kMaxValueBytes CP932 bytes, never inside a
// character.
void CapValue(std::string &utf8)
{
    size_t width = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t start = i;
        width += Cp932Width(DecodeUtf8At(utf8, i).value_or(0xFFFD));
        if (width > kMaxValueBytes) {
            utf8.resize(start);
            return;
        }
    }
}

std::string Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// The last "]" of a line that is a character of its own, not the second
// byte of a CP932 character.
size_t LastCloseBracket(std::string_view line, Encoding encoding)
{
    if (encoding != Encoding::Cp932) {
        return line.rfind(']');
    }
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < line.size(); i += Cp932CharLength(line, i)) {
        if (line[i] == ']') {
            found = i;
        }
    }
    return found;
}

std::shared_ptr<ParsedFile> Parse(std::string raw)
{
    auto file = std::make_shared<ParsedFile>();
    file->raw = std::move(raw);
    file->encoding = DetectEncoding(file->raw);
    const std::string_view text = file->raw;
    const size_t n = text.size();
    size_t pos = file->encoding == Encoding::Utf8Bom ? kBom.size() : 0;

    // "=", ";", CR and LF never occur inside a CP932 double-byte character,
    // but "[" and "]" can be its second byte: the closing bracket is looked
    // for character by character.
    Section *current = nullptr;
    while (pos < n) {
        size_t end = pos;
        while (end < n && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        size_t next = end;
        if (next < n) {
            next += (text[next] == '\r' && next + 1 < n && text[next + 1] == '\n') ? 2 : 1;
        }
        const bool hasBreak = next > end;

        size_t start = pos;
        while (start < end && IsBlank(text[start])) {
            ++start;
        }
        const std::string_view line = text.substr(start, end - start);
        const size_t close = line.empty() || line.front() != '[' ? std::string_view::npos
                                                                 : LastCloseBracket(line, file->encoding);
        if (close != std::string_view::npos) {
            const std::string name = Fold(ToUtf8(Trim(line.substr(1, close - 1)), file->encoding));
            const auto inserted = file->sections.try_emplace(name);
            // Only the first section of a name counts; later ones are ignored.
            current = inserted.second ? &inserted.first->second : nullptr;
            if (current != nullptr) {
                current->insertAt = next;
                current->insertNeedsBreak = !hasBreak;
            }
        } else if (current != nullptr && !line.empty() && line.front() != ';') {
            const size_t equals = line.find('=');
            const std::string_view name = Trim(line.substr(0, equals));
            if (equals != std::string_view::npos && !name.empty()) {
                size_t valueStart = start + equals + 1;
                while (valueStart < end && IsBlank(text[valueStart])) {
                    ++valueStart;
                }
                const std::string folded = Fold(ToUtf8(name, file->encoding));
                if (current->keys.find(folded) == current->keys.end()) {
                    std::string value =
                        Unquote(ToUtf8(Trim(text.substr(valueStart, end - valueStart)), file->encoding));
                    CapValue(value);
                    current->keys.emplace(folded, KeyEntry{std::move(value), valueStart, end});
                }
                current->insertAt = next;
                current->insertNeedsBreak = !hasBreak;
            }
        }
        pos = next;
    }
    return file;
}

// --- The cache -------------------------------------------------------------

struct CacheEntry {
    FileStamp stamp;
    timespec verifiedAt; // when the content was last read and found current
    std::shared_ptr<const ParsedFile> file;
};

std::mutex &CacheMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unordered_map<std::string, CacheEntry> &Cache()
{
    static std::unordered_map<std::string, CacheEntry> cache;
    return cache;
}

// A settings file that is there but cannot be read: the user is told once
// (until it reads again), after the cache's lock is let go, since the
// message box lets other readers run meanwhile.
std::set<std::string> &ToldUnreadable()
{
    static std::set<std::string> told;
    return told;
}

thread_local std::string pendingProblem;

void TellPending()
{
    if (!pendingProblem.empty()) {
        const std::string message = std::move(pendingProblem);
        pendingProblem.clear();
        ReportFileProblem(message);
    }
}

// The parsed file as it is now, or nullptr when it does not exist or cannot
// be read. Caller holds the cache mutex.
std::shared_ptr<const ParsedFile> Load(const std::string &path)
{
    auto &cache = Cache();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        cache.erase(path);
        return nullptr;
    }
    const FileStamp stamp = StampOf(st);
    const auto it = cache.find(path);
    if (it != cache.end() && SameStamp(it->second.stamp, stamp) &&
        StampTrusted(stamp, it->second.verifiedAt)) {
        return it->second.file;
    }

    const timespec readAt = NowRealtime();
    std::optional<std::string> raw = ReadFileBytes(path);
    if (!raw) {
        cache.erase(path);
        if (ToldUnreadable().insert(path).second) {
            pendingProblem = FormatMessage(msg::CannotOpenFile, path);
        }
        return nullptr;
    }
    ToldUnreadable().erase(path);
    if (it != cache.end() && SameStamp(it->second.stamp, stamp) && it->second.file->raw == *raw) {
        it->second.verifiedAt = readAt;
        return it->second.file;
    }
    std::shared_ptr<const ParsedFile> file = Parse(std::move(*raw));
    cache[path] = CacheEntry{stamp, readAt, file};
    return file;
}

// --- Writing ----------------------------------------------------------------

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// A value with blanks at either end, or one that is itself wrapped in
// quotes, would not read back as written: it is stored inside quotes.
std::string StoredValue(std::string value)
{
    // A value never spans lines; a break would split the file's structure.
    for (char &c : value) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    const bool blankEnds = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    return blankEnds || quoted ? "\"" + value + "\"" : value;
}

// The bytes of `file` after the write (the new text in the file's
// encoding); nullopt when the new text has no form in that encoding.
std::optional<std::string> Splice(const ParsedFile &file, const std::string &section, const std::string &key,
                                  const std::string &value)
{
    const std::string &raw = file.raw;
    const auto sectionIt = file.sections.find(Fold(section));
    if (sectionIt != file.sections.end()) {
        const Section &found = sectionIt->second;
        const auto keyIt = found.keys.find(Fold(key));
        if (keyIt != found.keys.end()) {
            const std::optional<std::string> encoded = FromUtf8(value, file.encoding);
            if (!encoded) {
                return std::nullopt;
            }
            const KeyEntry &entry = keyIt->second;
            return raw.substr(0, entry.valueStart) + *encoded + raw.substr(entry.lineEnd);
        }
        const std::optional<std::string> encoded = FromUtf8(key + "=" + value + "\r\n", file.encoding);
        if (!encoded) {
            return std::nullopt;
        }
        return raw.substr(0, found.insertAt) + (found.insertNeedsBreak ? "\r\n" : "") + *encoded +
               raw.substr(found.insertAt);
    }
    const std::optional<std::string> encoded =
        FromUtf8("[" + section + "]\r\n" + key + "=" + value + "\r\n", file.encoding);
    if (!encoded) {
        return std::nullopt;
    }
    std::string out = raw;
    const size_t bodyStart = file.encoding == Encoding::Utf8Bom ? kBom.size() : 0;
    if (out.size() > bodyStart && out.back() != '\n' && out.back() != '\r') {
        out += "\r\n";
    }
    return out + *encoded;
}

// The files with an open batch: their writes are gathered here.
struct OpenBatch {
    std::shared_ptr<ParsedFile> file; // the batch's own copy, changed in place
    bool written = false;
};

// Moves every offset at or after `from` by `delta`.
void ShiftOffsets(ParsedFile &file, size_t from, ptrdiff_t delta)
{
    const auto shift = [&](size_t &offset) {
        if (offset >= from) {
            offset = static_cast<size_t>(static_cast<ptrdiff_t>(offset) + delta);
        }
    };
    for (auto &section : file.sections) {
        shift(section.second.insertAt);
        for (auto &key : section.second.keys) {
            shift(key.second.valueStart);
            shift(key.second.lineEnd);
        }
    }
}

// The common writes of a batch, made in place so that a large file is not
// parsed again at every key: a key's value replaced, or a key added to its
// section. False when the write needs the general way (a new section, a
// change of encoding); then `file` is unchanged.
bool WriteInPlace(ParsedFile &file, const std::string &section, const std::string &key,
                  const std::string &stored)
{
    const auto sectionIt = file.sections.find(Fold(section));
    if (sectionIt == file.sections.end()) {
        return false;
    }
    Section &found = sectionIt->second;
    const std::string folded = Fold(key);
    const auto keyIt = found.keys.find(folded);
    const std::string line = keyIt != found.keys.end() ? stored : key + "=" + stored + "\r\n";
    const std::optional<std::string> converted = FromUtf8(line, file.encoding);
    if (!converted) {
        return false;
    }
    std::string encoded = *converted;
    size_t at = 0;
    size_t removed = 0;
    KeyEntry entry{};
    if (keyIt != found.keys.end()) {
        at = keyIt->second.valueStart;
        removed = keyIt->second.lineEnd - at;
    } else {
        at = found.insertAt;
        if (found.insertNeedsBreak) {
            encoded.insert(0, "\r\n");
        }
    }
    // Text put between ASCII delimiters in place of ASCII text cannot make a
    // CP932 file read as UTF-8; anything else is checked on the result.
    const auto ascii = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    };
    std::string &raw = file.raw;
    const size_t oldSize = raw.size();
    if (file.encoding == Encoding::Cp932 &&
        !(ascii(encoded) && ascii(std::string_view(raw).substr(at, removed)))) {
        std::string candidate = raw;
        candidate.replace(at, removed, encoded);
        if (DetectEncoding(candidate) == Encoding::Utf8) {
            return false;
        }
        raw = std::move(candidate);
    } else {
        raw.replace(at, removed, encoded);
    }
    if (keyIt != found.keys.end()) {
        entry = KeyEntry{std::string(), at, at + encoded.size()};
    } else {
        const size_t lineStart = at + (found.insertNeedsBreak ? 2 : 0);
        entry = KeyEntry{std::string(), raw.find('=', lineStart) + 1, at + encoded.size() - 2};
    }
    entry.value =
        Unquote(ToUtf8(Trim(std::string_view(raw).substr(entry.valueStart, entry.lineEnd - entry.valueStart)),
                       file.encoding));
    CapValue(entry.value);
    const ptrdiff_t delta = static_cast<ptrdiff_t>(raw.size()) - static_cast<ptrdiff_t>(oldSize);
    if (keyIt != found.keys.end()) {
        const size_t oldEnd = keyIt->second.lineEnd;
        keyIt->second = entry;
        // Offsets past the old value move; this key's own are set already.
        const KeyEntry kept = keyIt->second;
        ShiftOffsets(file, oldEnd, delta);
        keyIt->second = kept;
    } else {
        ShiftOffsets(file, at + 1, delta);
        found.insertAt = at + encoded.size();
        found.insertNeedsBreak = false;
        found.keys.emplace(folded, entry);
    }
    return true;
}

std::unordered_map<std::string, OpenBatch> &Batches()
{
    static std::unordered_map<std::string, OpenBatch> batches;
    return batches;
}

// Before a CP932 file moves to UTF-8: byte pairs without a character would
// become U+FFFD, so the file as it is on disk is kept as a dated backup first
// (told after the lock is let go). False when no backup can be made.
bool KeepBeforeLosingBytes(const std::string &path, const ParsedFile &file)
{
    if (file.encoding != Encoding::Cp932 || Cp932ToUtf8Exact(file.raw)) {
        return true;
    }
    const std::string backup = KeepDatedBackup(path);
    pendingProblem = backup.empty() ? FormatMessage(msg::CannotKeepBackup, path)
                                    : FormatMessage(FormatMessage(msg::LossyBackupKept, path), backup);
    return !backup.empty();
}

// The file's bytes after one write; nullopt when the write cannot be made.
std::optional<std::string> ApplyWrite(const std::string &path, std::shared_ptr<const ParsedFile> file,
                                      const std::string &section, const std::string &key,
                                      const std::string &stored)
{
    std::optional<std::string> bytes = Splice(*file, section, key, stored);
    if (!bytes) {
        // The new text has no CP932 form: the whole file moves to UTF-8.
        if (!KeepBeforeLosingBytes(path, *file)) {
            return std::nullopt;
        }
        std::string utf8(kBom);
        utf8 += Cp932ToUtf8(file->raw);
        file = Parse(std::move(utf8));
        bytes = Splice(*file, section, key, stored);
        if (!bytes) {
            return std::nullopt;
        }
    }
    if (file->encoding == Encoding::Cp932 && DetectEncoding(*bytes) == Encoding::Utf8) {
        // CP932 bytes that happen to form valid UTF-8 (half-width katakana
        // can) would be read back as UTF-8: mark the file as UTF-8 instead.
        if (!KeepBeforeLosingBytes(path, *file)) {
            return std::nullopt;
        }
        return std::string(kBom) + Cp932ToUtf8(*bytes);
    }
    return bytes;
}

// Writes the bytes and keeps them as the cached content. Caller holds the
// cache mutex.
bool Store(const std::string &path, std::string bytes)
{
    if (!WriteFileAtomic(path, bytes)) {
        return false;
    }
    Cache().erase(path);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        Cache()[path] = CacheEntry{StampOf(st), NowRealtime(), Parse(std::move(bytes))};
    }
    return true;
}

// What readers see: the open batch's content, else the file's.
std::shared_ptr<const ParsedFile> Current(const std::string &path)
{
    const auto batch = Batches().find(path);
    return batch != Batches().end() ? batch->second.file : Load(path);
}

} // namespace

std::optional<std::string> ReadProfileValue(const std::string &path, const std::string &section,
                                            const std::string &key)
{
    std::shared_ptr<const ParsedFile> file;
    {
        std::lock_guard<std::mutex> lock(CacheMutex());
        file = Current(path);
    }
    TellPending();
    if (!file) {
        return std::nullopt;
    }
    const auto sectionIt = file->sections.find(Fold(Trim(section)));
    if (sectionIt == file->sections.end()) {
        return std::nullopt;
    }
    const auto keyIt = sectionIt->second.keys.find(Fold(Trim(key)));
    if (keyIt == sectionIt->second.keys.end()) {
        return std::nullopt;
    }
    return keyIt->second.value;
}

std::vector<std::optional<std::string>> ReadProfileValues(const std::string &path, const std::string &section,
                                                          const std::vector<std::string> &keys)
{
    std::vector<std::optional<std::string>> values(keys.size());
    std::shared_ptr<const ParsedFile> file;
    {
        std::lock_guard<std::mutex> lock(CacheMutex());
        file = Current(path);
    }
    TellPending();
    if (!file) {
        return values;
    }
    const auto sectionIt = file->sections.find(Fold(Trim(section)));
    if (sectionIt == file->sections.end()) {
        return values;
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto keyIt = sectionIt->second.keys.find(Fold(Trim(keys[i])));
        if (keyIt != sectionIt->second.keys.end()) {
            values[i] = keyIt->second.value;
        }
    }
    return values;
}

std::string GetPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue, const std::string &path)
{
    std::optional<std::string> value = ReadProfileValue(path, section, key);
    return value ? std::move(*value) : defaultValue;
}

namespace {
bool WriteLocked(const std::string &path, const std::string &sectionName, const std::string &keyName,
                 const std::string &stored);
} // namespace

bool WritePrivateProfileString(const std::string &section, const std::string &key, const std::string &value,
                               const std::string &path)
{
    const std::string sectionName(Trim(section));
    const std::string keyName(Trim(key));
    if (sectionName.empty() || keyName.empty() || HasLineBreak(sectionName) || HasLineBreak(keyName) ||
        keyName.find('=') != std::string::npos || keyName.front() == ';' || keyName.front() == '[' ||
        !IsValidUtf8(sectionName) || !IsValidUtf8(keyName) || !IsValidUtf8(value)) {
        return false;
    }
    const bool written = WriteLocked(path, sectionName, keyName, StoredValue(value));
    TellPending();
    return written;
}

namespace {

bool WriteLocked(const std::string &path, const std::string &sectionName, const std::string &keyName,
                 const std::string &stored)
{
    std::lock_guard<std::mutex> lock(CacheMutex());
    const auto batch = Batches().find(path);
    std::shared_ptr<const ParsedFile> file;
    if (batch != Batches().end()) {
        file = batch->second.file;
    } else {
        file = Load(path);
        struct stat st {};
        if (!file && stat(path.c_str(), &st) == 0) {
            return false; // there, but not a readable file: never overwrite it blind
        }
    }
    if (!file) {
        file = Parse(std::string());
    }

    if (batch != Batches().end() && WriteInPlace(*batch->second.file, sectionName, keyName, stored)) {
        batch->second.written = true;
        return true;
    }
    std::optional<std::string> bytes = ApplyWrite(path, file, sectionName, keyName, stored);
    if (!bytes) {
        return false;
    }
    if (batch != Batches().end()) {
        batch->second = OpenBatch{Parse(std::move(*bytes)), true};
        return true;
    }
    return Store(path, std::move(*bytes));
}

} // namespace

ProfileBatch::ProfileBatch(std::string path) : path_(std::move(path))
{
    std::lock_guard<std::mutex> lock(CacheMutex());
    std::shared_ptr<const ParsedFile> file = Load(path_);
    struct stat st {};
    if (!file && stat(path_.c_str(), &st) == 0) {
        return; // not readable: the writes go to the file one by one and fail there
    }
    Batches()[path_] = OpenBatch{file ? std::make_shared<ParsedFile>(*file) : Parse(std::string()), false};
    open_ = true;
}

ProfileBatch::~ProfileBatch()
{
    if (open_) {
        std::lock_guard<std::mutex> lock(CacheMutex());
        Batches().erase(path_);
    }
}

bool ProfileBatch::Commit()
{
    if (!open_) {
        return true;
    }
    std::lock_guard<std::mutex> lock(CacheMutex());
    const auto batch = Batches().find(path_);
    const OpenBatch gathered = batch->second;
    Batches().erase(batch);
    open_ = false;
    return !gathered.written || Store(path_, gathered.file->raw);
}

void ClearProfileCache()
{
    std::lock_guard<std::mutex> lock(CacheMutex());
    Cache().clear();
    ToldUnreadable().clear();
}

} // namespace orvex
