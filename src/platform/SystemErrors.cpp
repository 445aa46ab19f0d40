#include "platform/SystemErrors.h"

#include <cerrno>

namespace orvex {

namespace {

struct ErrorText {
    int code;
    const char *text;
};

// The errors a user meets with files and folders, worded as the Windows
// system words them; the rest fall back to their number.
constexpr ErrorText kErrorTexts[] = {
    {ENOENT, "指定されたファイルが見つかりません"},
    {ENOTDIR, "指定されたパスが見つかりません"},
    {EACCES, "アクセスが拒否されました"},
    {EPERM, "アクセスが拒否されました"},
    {ENAMETOOLONG, "ファイル名または拡張子が長すぎます"},
    {EINVAL, "ファイル名、ディレクトリ名、またはボリューム ラベルの構文が間違っています"},
    {EISDIR, "指定された名前はフォルダです"},
    {EROFS, "メディアは書き込み禁止になっています"},
    {ENOSPC, "ディスクに十分な空き領域がありません"},
    {EDQUOT, "ディスク クォータを超えています"},
    {EFBIG, "ファイルが大きすぎます"},
    {EEXIST, "既に存在するファイルを作成することはできません"},
    {ENOTEMPTY, "ディレクトリが空ではありません"},
    {ELOOP, "シンボリック リンクの参照が多すぎます"},
    {EIO, "I/O デバイス エラーが発生したため、要求を実行できませんでした"},
    {EMFILE, "開いているファイルが多すぎます"},
    {ENFILE, "開いているファイルが多すぎます"},
    {ENOMEM, "この操作を実行するのに十分な記憶域がありません"},
    {EBUSY, "要求されたリソースは使用中です"},
    {ETXTBSY, "プロセスはファイルにアクセスできません。別のプロセスが使用中です"},
    {EXDEV, "別のディスク ドライブにファイルを移動できません"},
    {ENODEV, "指定されたデバイスが見つかりません"},
    {ENXIO, "指定されたデバイスが見つかりません"},
};

} // namespace

std::string SystemErrorText(int code)
{
    for (const ErrorText &entry : kErrorTexts)
        if (entry.code == code)
            return entry.text;
    return "エラー番号 " + std::to_string(code);
}

} // namespace orvex
