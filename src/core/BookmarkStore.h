// The bookmark file: one ordered tree of folders and bookmarks kept as XML in
// Shift_JIS (read and written as CP932, the form Windows writes) in the
// working folder (BookmarkFolder). Every view builds its own copy from the
// file by the one reading rule; the editor's tree goes back to the file by
// the one writer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// The URL a folder node carries when it is read from the file.
inline constexpr const char *kFolderMarker = "フォルダ";

// One entry, UTF-8. A folder has `folder` set and its entries in `children`;
// a bookmark has its address in `url` and no children.
struct BookmarkNode {
    std::string caption;
    std::string url;
    bool folder = false;
    std::vector<BookmarkNode> children;

    bool operator==(const BookmarkNode &other) const
    {
        return caption == other.caption && url == other.url && folder == other.folder &&
               children == other.children;
    }
    bool operator!=(const BookmarkNode &other) const { return !(*this == other); }
};

using BookmarkTree = std::vector<BookmarkNode>;

// The name the readers ask for and the name a new file is saved under. Both
// reach the same file: the name is matched without regard to letter case.
inline constexpr const char *kBookmarkReadName = "bookmark.xml";
inline constexpr const char *kBookmarkWriteName = "BookMark.xml";

// The folder the bookmark file is in: the data folder (DataFolder), beside
// the program in a portable copy, whatever the working folder is.
std::string BookmarkFolder();

// Earlier versions kept the bookmark file in the working folder, which
// became the Gecko folder once a Gecko window had opened: a file left there
// is brought into `dataFolder` once, when that holds none, so there are
// never two files. Returns the message telling the user what was done (""
// when nothing was to do).
std::string AdoptBookmarkFile(const std::string &dataFolder, const std::string &oldFolder);

// The full path of the bookmark file in `folder`: an existing file whose
// name equals "bookmark.xml" in any letter case, or else
// `folder`/"BookMark.xml".
std::string BookmarkFilePath(const std::string &folder = BookmarkFolder());

// Why bytes are not a bookmark file: the line (1-based, 0 when none
// applies) and the reason, in Japanese.
struct BookmarkFault {
    int line = 0;
    std::string reason;
};

// The reading rule on the bytes of a file: nullopt for anything that is not
// a bookmark file (empty, malformed, no "bookmark" root), with `fault` (when
// given) telling why. A file declaring Shift_JIS that is UTF-8 (with or
// without a byte-order mark) is read as UTF-8. A file declaring entities is
// refused, so that a small file can never expand into a huge tree.
std::optional<BookmarkTree> ParseBookmarkFile(std::string_view bytes, BookmarkFault *fault = nullptr);

// The bookmark file as the stamp rule keeps it: read once per change of the
// file. A file that cannot be read gives an empty tree, and the user is told
// once (file, line, reason); the file is left as it is.
struct BookmarkFile {
    BookmarkTree tree;
    bool unreadable = false; // there, but not read: kept as a backup before any save
    std::string problem;     // the message telling so
    mutable bool told = false;
};
std::shared_ptr<const BookmarkFile> ReadBookmarkFile();

// The writing rule: the whole file, declaration included, in Shift_JIS.
// Throws orvex::Error("不正なインデックス") for an empty tree.
std::string SerializeBookmarks(const BookmarkTree &tree);

// Replaces the bookmark file of the working folder through a temporary
// file. A file there that could not be read is first kept as a dated backup
// beside it, and the user is told where. Throws orvex::Error:
// "不正なインデックス" for an empty tree (nothing written);
// "ファイル <path> を作成できません" when the file cannot be written (the old
// file is left as it was); the backup message when no backup can be made
// (nothing written).
void WriteBookmarks(const BookmarkTree &tree);

} // namespace orvex
