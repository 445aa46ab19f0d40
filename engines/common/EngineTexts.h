// The Japanese texts the engine modules show or hand to the host, written
// once. Texts an engine itself translates through Qt (its context menu) are in
// that module's translation table.
#pragma once

namespace orvex::engine::texts {

// The save dialog of SaveTo and "save page", and its failure.
inline constexpr const char *kSaveAsTitle = "名前を付けて保存";
inline constexpr const char *kSaveFilterHtml = "Web ページ (*.html *.htm);;すべてのファイル (*)";
inline constexpr const char *kSaveFilterHtmlAndArchive =
    "Web ページ (*.html *.htm);;Web アーカイブ (*.mht *.mhtml);;すべてのファイル (*)";
inline constexpr const char *kSaveFailed = "ページを保存できません";

// Navigate with a text that is no address; %1 is the text.
inline constexpr const char *kInvalidAddress = "アドレス %1 を開けません。アドレスが正しくありません";

// Services an engine module does not have.
inline constexpr const char *kFindUnsupported = "このエンジンはページ内検索に対応していません";
inline constexpr const char *kPrintUnsupported = "このエンジンは印刷に対応していません";

// Why a server's certificate is not trusted (CertificateErrorInfo::description).
inline constexpr const char *kCertificateUntrusted = "証明書の発行元が信頼されていません";
inline constexpr const char *kCertificateWrongHost = "証明書がこのサーバーのものではありません";
inline constexpr const char *kCertificateDate = "証明書の有効期間が過ぎているか、まだ始まっていません";
inline constexpr const char *kCertificateRevoked = "証明書は失効しています";
inline constexpr const char *kCertificateWeak = "証明書の暗号が弱すぎます";
inline constexpr const char *kCertificateInvalid = "証明書が正しくありません";

// The end of a transfer that did not complete (DownloadEvents::OnDownloadFinished).
inline constexpr const char *kDownloadCancelled = "ダウンロードは取り消されました";
inline constexpr const char *kDownloadFailed = "ダウンロードできませんでした";
inline constexpr const char *kDownloadCannotSave = "フォルダー %1 に保存できません";
inline constexpr const char *kDownloadCannotWrite = "ファイルに書き込めません";
inline constexpr const char *kDownloadNetwork = "ネットワークのエラーでダウンロードが中断しました";
inline constexpr const char *kDownloadNoSpace = "ディスクの空き領域が足りません";
inline constexpr const char *kDownloadNameTooLong = "ファイル名が長すぎます";
inline constexpr const char *kDownloadAccessDenied = "ファイルに書き込む権限がありません";
inline constexpr const char *kDownloadTooLarge = "ファイルが大きすぎます";
inline constexpr const char *kDownloadServer = "サーバーのエラーでダウンロードできませんでした";

// Printing (WebBrowserEvents::OnPrintFinished); %1 is the printer or the file.
inline constexpr const char *kPrinterNotFound = "プリンター「%1」が見つかりません";
inline constexpr const char *kPrintFailed = "印刷できませんでした";
inline constexpr const char *kPdfFailed = "PDF ファイル %1 を書き込めません";
inline constexpr const char *kPrintBusy = "前の印刷がまだ終わっていません";

// The page shown when the process that showed a page ended; its heading is
// also the window's caption.
inline constexpr const char *kPageEndedTitle = "ページが停止しました";
inline constexpr const char *kPageCrashed = "ページを表示していたプロセスが異常終了しました。";
inline constexpr const char *kPageKilled = "ページを表示していたプロセスが強制終了されました。";
inline constexpr const char *kPageOutOfMemory =
    "メモリが足りなくなったため、ページを表示していたプロセスを終了しました (上限 %1 MB)。";
inline constexpr const char *kPageEndedHint =
    "「再読み込み」を押すと、ページをもう一度読み込みます。入力中だった内容は失われています。";
inline constexpr const char *kPageReload = "再読み込み";

} // namespace orvex::engine::texts
