// The texts of the Gecko module that a user reads and the other engine has
// not: the context menu, the error page and the messages of printing and
// start-up. Transfers, printing results, certificate reasons and the save
// dialog use the texts both modules share (EngineTexts.h).
#pragma once

#include "EngineTexts.h"

#include <webkit2/webkit2.h>

namespace orvex::webkit::texts {

// Context menu items by WebKitContextMenuAction value: the actions the
// module carries out. Any other item of the engine's menu is left out.
struct MenuLabel {
    WebKitContextMenuAction action;
    const char *label;
};
inline constexpr MenuLabel kMenuLabels[] = {
    {WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK, "リンクを開く(&O)"},
    {WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW, "新しいウィンドウで開く(&N)"},
    {WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK, "対象をファイルに保存(&A)..."},
    {WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD, "ショートカットのコピー(&T)"},
    {WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW, "画像を新しいウィンドウで開く(&I)"},
    {WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK, "名前を付けて画像を保存(&S)..."},
    {WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_URL_TO_CLIPBOARD, "画像のアドレスをコピー(&M)"},
    {WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, "戻る(&B)"},
    {WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD, "進む(&O)"},
    {WEBKIT_CONTEXT_MENU_ACTION_STOP, "中止(&S)"},
    {WEBKIT_CONTEXT_MENU_ACTION_RELOAD, "最新の情報に更新(&F)"},
    {WEBKIT_CONTEXT_MENU_ACTION_COPY, "コピー(&C)"},
    {WEBKIT_CONTEXT_MENU_ACTION_CUT, "切り取り(&T)"},
    {WEBKIT_CONTEXT_MENU_ACTION_PASTE, "貼り付け(&P)"},
    {WEBKIT_CONTEXT_MENU_ACTION_DELETE, "削除(&D)"},
    {WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL, "すべて選択(&A)"},
    {WEBKIT_CONTEXT_MENU_ACTION_FONT_MENU, "フォント(&F)"},
    {WEBKIT_CONTEXT_MENU_ACTION_BOLD, "太字(&B)"},
    {WEBKIT_CONTEXT_MENU_ACTION_ITALIC, "斜体(&I)"},
    {WEBKIT_CONTEXT_MENU_ACTION_UNDERLINE, "下線(&U)"},
    {WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW, "ビデオを新しいウィンドウで開く"},
    {WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW, "オーディオを新しいウィンドウで開く"},
    {WEBKIT_CONTEXT_MENU_ACTION_COPY_VIDEO_LINK_TO_CLIPBOARD, "ビデオのアドレスをコピー"},
    {WEBKIT_CONTEXT_MENU_ACTION_COPY_AUDIO_LINK_TO_CLIPBOARD, "オーディオのアドレスをコピー"},
    {WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK, "名前を付けてビデオを保存..."},
    {WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK, "名前を付けてオーディオを保存..."},
    {WEBKIT_CONTEXT_MENU_ACTION_PASTE_AS_PLAIN_TEXT, "テキストとして貼り付け"},
};

// The page shown when a page cannot be loaded.
inline constexpr const char *kErrorHeading = "ページを表示できません";
inline constexpr const char *kErrorHint = "アドレスを確かめて、もう一度お試しください。";
inline constexpr const char *kErrorGeneric = "ページの読み込みに失敗しました";
inline constexpr const char *kErrorNoFile = "ファイルが見つかりません";
inline constexpr const char *kErrorHostNotFound = "サーバーが見つかりません";
inline constexpr const char *kErrorRefused = "サーバーに接続できません";
inline constexpr const char *kErrorTimedOut = "サーバーから応答がありません";
inline constexpr const char *kErrorScheme = "この種類のアドレスは開けません";
inline constexpr const char *kErrorPort = "このポートには接続できません";
inline constexpr const char *kErrorCannotShow = "この種類のファイルは表示できません";
inline constexpr const char *kErrorCertificate = "このサイトのセキュリティ証明書は信頼できません";

// Why a server certificate is not trusted: the texts both engines use.
struct CertificateReason {
    GTlsCertificateFlags flag;
    const char *text;
};
inline constexpr CertificateReason kCertificateReasons[] = {
    {G_TLS_CERTIFICATE_UNKNOWN_CA, engine::texts::kCertificateUntrusted},
    {G_TLS_CERTIFICATE_BAD_IDENTITY, engine::texts::kCertificateWrongHost},
    {G_TLS_CERTIFICATE_NOT_ACTIVATED, engine::texts::kCertificateDate},
    {G_TLS_CERTIFICATE_EXPIRED, engine::texts::kCertificateDate},
    {G_TLS_CERTIFICATE_REVOKED, engine::texts::kCertificateRevoked},
    {G_TLS_CERTIFICATE_INSECURE, engine::texts::kCertificateWeak},
    {G_TLS_CERTIFICATE_GENERIC_ERROR, engine::texts::kCertificateInvalid},
};

inline constexpr const char *kPrintNoPrinter = "プリンターが指定されていません";

// Shown in the status bar when a page asks for full screen.
inline constexpr const char *kFullScreenRefused = "このウィンドウでは全画面表示を使えません";
inline constexpr const char *kNoDisplay =
    "Gecko エンジンには X11 のディスプレイが必要です (GTK を初期化できません)";

} // namespace orvex::webkit::texts
