// Errors carry the user's message as UTF-8 text. Every handler runs inside the
// guard (UiServices.h), which shows the message in the standard error box.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace orvex {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text the standard error box shows for a message: "." is appended when
// the text is not empty and its last character sorts after "." (Japanese
// texts always get it).
std::string ErrorBoxText(const std::string &message);

// Replaces the first "%s" of a message pattern with the argument.
std::string FormatMessage(const std::string &pattern, const std::string &argument);
// Replaces the "%s" of a pattern with the arguments in order, in one pass:
// an argument holding "%s" stays as it is.
std::string FormatMessage(const std::string &pattern, std::initializer_list<std::string> arguments);

// The messages used across the program.
namespace msg {
inline constexpr const char *CannotOpenFile = "ファイル %s は開けません";
inline constexpr const char *CannotCreateFile = "ファイル %s を作成できません";
inline constexpr const char *CannotWriteSettings = "%s に書き込めません";
// A later start found an Orvex running on the data folder %s that took
// nothing.
inline constexpr const char *RunningCopyNotAnswering = "%s を使う Orvex が起動していますが、応答しません";
// Without a private place to meet, the data folder's own lock found another
// Orvex on the data folder %s.
inline constexpr const char *DataFolderInUse =
    "データフォルダ %s は別の Orvex が使っているため、起動しません";
// A hand-off of more addresses than one start may open: the limit, then how
// many were left out.
inline constexpr const char *TooManyAddresses =
    "一度に開けるアドレスは %s 件までです。残りの %s 件は開きませんでした";
inline constexpr const char *NotAnInteger = "'%s' は整数ではありません";
inline constexpr const char *FileTooLarge = "ファイル %s は %s MB を超えているため読み込みません";
// File, line, reason.
inline constexpr const char *UnreadableFile =
    "ファイル %s を読み込めません（%s 行目: %s）。ファイルはそのまま残します";
inline constexpr const char *BackupKept = "読み込めなかった元のファイルを %s に残しました";
inline constexpr const char *CannotKeepBackup =
    "読み込めなかったファイル %s の控えを作れないため、上書きしません";
// The options dialog's Gecko folder (first %s) without the module (second %s).
inline constexpr const char *NoGeckoModule = "フォルダ %s に %s がありません";
inline constexpr const char *NoGeckoFolder = "%s のあるフォルダを指定してください";
// Added to a failed save's message when the file had to be rewritten in
// place (its folder refuses new files).
inline constexpr const char *InPlaceOldKept = "。ファイルは元の内容のまま残しました";
inline constexpr const char *InPlaceOldLost = "。ファイルを元の内容に戻せませんでした";
// A file whose bytes do not all read as characters, kept before it is saved.
inline constexpr const char *LossyBackupKept =
    "ファイル %s には文字として読めないバイトがあるため、元のファイルを %s に残しました";
inline constexpr const char *QuitWithoutSaving = "保存せずに終了しますか？";
// The bookmark file found in the Gecko folder (first %s) is now in the data
// folder (second %s).
inline constexpr const char *BookmarkFileMoved =
    "ブックマークのファイル %s を %s に移しました。これからはこのファイルを使います";
inline constexpr const char *BookmarkFileCopied =
    "ブックマークのファイル %s を %s にコピーしました。これからはコピーを使います。元のファイルは使いません";
// Reasons a file could not be read.
inline constexpr const char *ReasonNotWellFormed = "XML の書式が正しくありません";
inline constexpr const char *ReasonEncoding = "文字コードが宣言と合いません";
inline constexpr const char *ReasonNoBookmarkRoot = "ルート要素が bookmark ではありません";
inline constexpr const char *ReasonEntities = "実体の宣言は使えません";
// %0:s is the mask, %1:d the 1-based position of the offending character.
inline constexpr const char *InvalidMask = "%1:d 番目の文字（'%0:s'）は正しくないマスク文字です";
// The history database could not be read and was kept aside.
inline constexpr const char *HistoryKeptAside =
    "履歴のデータベースを読み込めません。元のファイルを %s に残し、新しい履歴を始めます";
inline constexpr const char *CannotWriteHistory = "履歴を %s に書き込めません";
// Loading an engine module; the first %s is the module's file.
inline constexpr const char *EngineModuleMissing = "エンジン モジュール %s が見つかりません";
inline constexpr const char *EngineModuleUnreadable = "エンジン モジュール %s を読み込めません";
// The second %s: the module's contract version, the third the one needed.
inline constexpr const char *EngineModuleOtherContract =
    "エンジン モジュール %s はこのバージョンの Orvex 用ではありません (契約バージョン %s、必要なのは %s)";
// The second %s: the missing function.
inline constexpr const char *EngineModuleNoFactory = "エンジン モジュール %s に %s がありません";
inline constexpr const char *EngineControlFailed = "エンジン モジュール %s でコントロールを作成できません";
} // namespace msg

} // namespace orvex
