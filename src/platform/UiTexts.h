// The texts of the dialogs that answer a page's questions (message boxes,
// sign-in, certificate warnings, permissions, upload, downloads, find and
// print), written once. "%1", "%2" are filled in by QString::arg.
#pragma once

namespace orvex::txt {

// Page message boxes.
inline constexpr const char *PageFallbackTitle = "Web ページ";
inline constexpr const char *LeavePageText =
    "このページから移動しますか？入力した内容は保存されないことがあります。";
inline constexpr const char *LeavePage = "このページから移動する";
inline constexpr const char *StayOnPage = "このページにとどまる";
inline constexpr const char *StopPageDialogs = "このページからのダイアログを今後表示しない";

// Sign-in.
inline constexpr const char *SignInTitle = "認証が必要です";
inline constexpr const char *SignInServer = "サーバー %1 がユーザー名とパスワードを要求しています。";
inline constexpr const char *SignInProxy = "プロキシ %1 がユーザー名とパスワードを要求しています。";
inline constexpr const char *SignInRealm = "サーバーからのメッセージ: %1";
inline constexpr const char *UserName = "ユーザー名(&U):";
inline constexpr const char *Password = "パスワード(&P):";

// Certificate errors.
inline constexpr const char *CertificateTitle = "セキュリティの警告";
inline constexpr const char *CertificateText = "%1 のセキュリティ証明書は信頼できません。";
inline constexpr const char *CertificateDetail =
    "理由: %1\n\n続行すると、このサイトとやり取りする情報を第三者に読み取られたり書き換えられたりするおそれが"
    "あります。続行を選ぶと、このホストにはプログラムを終了するまで警告なしで接続します。";
inline constexpr const char *CertificateRefuse = "接続しない";
inline constexpr const char *CertificateProceed = "このセッションでは続行する";

// The connection indicator at the address box; %1 is the page's host.
inline constexpr const char *ConnectionSecure = "保護された通信 %1";
inline constexpr const char *ConnectionSecureTip =
    "%1 との通信は暗号化されています (https)。サーバーの証明書は信頼できる発行元のものです。";
inline constexpr const char *ConnectionInsecure = "保護されていない通信";
inline constexpr const char *ConnectionInsecureTip =
    "%1 との通信は暗号化されていません (http)。送受信する内容を途中で読まれたり書き換えられたりするおそれが"
    "あります。";
inline constexpr const char *ConnectionException = "証明書エラー %1";
inline constexpr const char *ConnectionExceptionTip =
    "%1 の証明書は信頼できませんが、「続行」が選ばれたため表示しています。このエンジンではプログラムを終了"
    "するまで警告なしで接続します。この通信は安全ではありません。";

// Permissions.
inline constexpr const char *PermissionTitle = "アクセス許可";
inline constexpr const char *PermissionText = "%1 が%2を求めています。許可しますか？";
inline constexpr const char *PermissionGeolocation = "現在地の取得";
inline constexpr const char *PermissionNotifications = "通知の表示";
inline constexpr const char *PermissionCamera = "カメラの使用";
inline constexpr const char *PermissionMicrophone = "マイクの使用";
inline constexpr const char *PermissionCameraAndMicrophone = "カメラとマイクの使用";
inline constexpr const char *PermissionFullScreen = "全画面表示";
inline constexpr const char *Allow = "許可する";
inline constexpr const char *Deny = "許可しない";

// File upload.
inline constexpr const char *ChooseUploadTitle = "アップロードするファイルの選択";
inline constexpr const char *PageFileTypes = "ページが指定した種類";
inline constexpr const char *AllFilesFilter = "すべてのファイル(*.*)|*.*";

// Downloads.
inline constexpr const char *DownloadSaveTitle = "名前を付けて保存";
inline constexpr const char *DownloadDefaultName = "ダウンロード";
inline constexpr const char *DownloadsTitle = "ダウンロード";
inline constexpr const char *DownloadCancel = "キャンセル";
inline constexpr const char *DownloadOpenFolder = "フォルダを開く";
inline constexpr const char *DownloadClearFinished = "完了した項目を消去";
inline constexpr const char *DownloadProgress = "%1 / %2 (%3/秒)";
inline constexpr const char *DownloadProgressNoTotal = "%1 (%2/秒)";
inline constexpr const char *DownloadDone = "完了 (%1)";
inline constexpr const char *DownloadCancelled = "キャンセルしました";
inline constexpr const char *DownloadFailed = "失敗しました: %1";
inline constexpr const char *DownloadUnknownError = "不明なエラー";
inline constexpr const char *DownloadCannotSaveIn = "フォルダ %1 に保存できません（%2）";
inline constexpr const char *DownloadCannotFinish = "%1 を保存できません（%2）";
inline constexpr const char *DownloadsRunningTitle = "Orvex";
inline constexpr const char *DownloadsRunningText =
    "ダウンロード中のファイルがあります。終了すると、ダウンロードは中止されます。";
inline constexpr const char *DownloadsQuit = "終了する";
inline constexpr const char *DownloadsKeep = "終了しない";
inline constexpr const char *Bytes = "%1 バイト";
inline constexpr const char *KiloBytes = "%1 KB";
inline constexpr const char *MegaBytes = "%1 MB";
inline constexpr const char *GigaBytes = "%1 GB";

// Find in page.
inline constexpr const char *FindLabel = "検索(&S):";
inline constexpr const char *FindNext = "次へ(&N)";
inline constexpr const char *FindPrevious = "前へ(&V)";
inline constexpr const char *FindMatchCase = "大文字と小文字を区別する(&C)";
inline constexpr const char *FindMatches = "%1 件";
inline constexpr const char *FindClose = "検索バーを閉じる (Esc)";

// Print.
inline constexpr const char *PrintFailed = "印刷できません（%1）";
// The print dialog's page range choice, which Qt's Japanese table lacks.
inline constexpr const char *PrintPageRange = "ページ指定";

// History, address completion and the clearing of browsing data.
inline constexpr const char *HistorySearch = "履歴を検索";
inline constexpr const char *HistoryToday = "今日";
inline constexpr const char *HistoryYesterday = "昨日";
inline constexpr const char *HistoryDayFormat = "yyyy/MM/dd (ddd)";
inline constexpr const char *HistoryOpen = "開く(&O)";
inline constexpr const char *HistoryOpenNew = "新しいウィンドウで開く(&N)";
inline constexpr const char *HistoryDelete = "削除(&D)";
inline constexpr const char *HistoryDeleteDay = "この日の履歴を削除(&D)";
inline constexpr const char *HistoryBookmarkMark = "★";
inline constexpr const char *ClearDataTitle = "閲覧データの消去";
inline constexpr const char *ClearDataRange = "期間(&R):";
inline constexpr const char *ClearDataHour = "過去 1 時間";
inline constexpr const char *ClearDataDay = "過去 24 時間";
inline constexpr const char *ClearDataWeek = "過去 7 日間";
inline constexpr const char *ClearDataAll = "すべての期間";
inline constexpr const char *ClearDataHistory = "閲覧履歴(&H)";
inline constexpr const char *ClearDataCookies = "Cookie とサイトのデータ(&C)";
inline constexpr const char *ClearDataCache = "キャッシュされた画像とファイル(&A)";
inline constexpr const char *ClearDataNote =
    "ブックマーク、Web リスト、設定、最近閉じたページは消去されません。";
inline constexpr const char *ClearDataOk = "消去";
inline constexpr const char *ClearDataCancel = "キャンセル";
// Conveniences beyond the design: the options page "その他", the page zoom,
// the session and the question before quitting.
inline constexpr const char *OptionExtPage = "その他";
inline constexpr const char *SearchURLLabel = "アドレスバーからの検索（%s が検索語になります）:";
inline constexpr const char *RestoreSessionOption = "起動時に前回のウィンドウを開く";
inline constexpr const char *ConfirmQuitOption = "複数のウィンドウがあるとき、終了する前に確認する";
inline constexpr const char *HistoryOption = "表示したページを履歴に残す";
inline constexpr const char *SleepOption = "見えないウィンドウのページを休止する";
inline constexpr const char *SleepFreezeLabel = "止めるまで:";
inline constexpr const char *SleepFreezeUnit = " 秒";
inline constexpr const char *SleepDiscardLabel = "メモリを解放するまで:";
inline constexpr const char *SleepDiscardUnit = " 分";
inline constexpr const char *SleepMemoryLabel = "メモリの上限（0 で上限なし）:";
inline constexpr const char *SleepMemoryUnit = " MB";
inline constexpr const char *ZoomStatus = "ズーム: %1%";
inline constexpr const char *RestoreQuestion = "前回のウィンドウを開き直しますか?";
inline constexpr const char *RestoreDetail = "Orvex は前回、正しく終了しませんでした。";
inline constexpr const char *QuitQuestion = "%1 個のウィンドウが開いています。終了しますか?";
inline constexpr const char *DontAskAgain = "次回から確認しない";
inline constexpr const char *Yes = "はい";
inline constexpr const char *No = "いいえ";

// The tab menu.
inline constexpr const char *KeepAwake = "このウィンドウを休止しない";

} // namespace orvex::txt
