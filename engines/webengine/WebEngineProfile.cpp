#include "WebEngineProfile.h"

#include "WebEngineDownload.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>
#include <QWebEngineDownloadItem>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <cstring>

namespace orvex::webengine {

namespace {

// Japanese for the English texts of Qt's engine classes that a user of a
// widget view sees: the context menu, the "leave this page?" question and the
// reasons a download fails. Debian ships no Japanese translation of
// QtWebEngine, so the module carries these.
struct EngineText {
    const char *context;
    const char *source;
    const char *japanese;
};

constexpr EngineText kEngineTexts[] = {
    {"RenderViewContextMenuQt", "Back", "戻る"},
    {"RenderViewContextMenuQt", "Forward", "進む"},
    {"RenderViewContextMenuQt", "Reload", "再読み込み"},
    {"RenderViewContextMenuQt", "Cut", "切り取り"},
    {"RenderViewContextMenuQt", "Copy", "コピー"},
    {"RenderViewContextMenuQt", "Paste", "貼り付け"},
    {"RenderViewContextMenuQt", "Paste and match style", "書式を合わせて貼り付け"},
    {"RenderViewContextMenuQt", "Undo", "元に戻す"},
    {"RenderViewContextMenuQt", "Redo", "やり直し"},
    {"RenderViewContextMenuQt", "Select all", "すべて選択"},
    {"RenderViewContextMenuQt", "Open link in new tab", "新しいタブでリンクを開く"},
    {"RenderViewContextMenuQt", "Open link in new window", "新しいウィンドウでリンクを開く"},
    {"RenderViewContextMenuQt", "Copy link address", "リンクのアドレスをコピー"},
    {"RenderViewContextMenuQt", "Save link", "リンク先を保存"},
    {"RenderViewContextMenuQt", "Copy image", "画像をコピー"},
    {"RenderViewContextMenuQt", "Copy image address", "画像のアドレスをコピー"},
    {"RenderViewContextMenuQt", "Save image", "画像を保存"},
    {"RenderViewContextMenuQt", "Copy media address", "メディアのアドレスをコピー"},
    {"RenderViewContextMenuQt", "Show controls", "コントロールを表示"},
    {"RenderViewContextMenuQt", "Loop", "ループ再生"},
    {"RenderViewContextMenuQt", "Save media", "メディアを保存"},
    {"RenderViewContextMenuQt", "Inspect", "検証"},
    {"RenderViewContextMenuQt", "Exit full screen", "全画面表示を終了"},
    {"RenderViewContextMenuQt", "Save page", "ページを保存"},
    {"RenderViewContextMenuQt", "View page source", "ページのソースを表示"},
    {"QWebEnginePage", "Stop", "中止"},
    {"QWebEnginePage", "Reload and Bypass Cache", "キャッシュを使わずに再読み込み"},
    {"QWebEnginePage", "Open link in this window", "このウィンドウでリンクを開く"},
    {"QWebEnginePage", "Open link in new background tab", "バックグラウンドの新しいタブでリンクを開く"},
    {"QWebEnginePage", "Toggle Play/Pause", "再生/一時停止"},
    {"QWebEnginePage", "Toggle Mute", "ミュートの切り替え"},
    {"QWebEnginePage", "Unselect", "選択を解除"},
    {"QWebEnginePage", "Close Page", "ページを閉じる"},
    {"QWebEnginePage", "&Bold", "太字(&B)"},
    {"QWebEnginePage", "&Italic", "斜体(&I)"},
    {"QWebEnginePage", "&Underline", "下線(&U)"},
    {"QWebEnginePage", "&Strikethrough", "取り消し線(&S)"},
    {"QWebEnginePage", "Align &Left", "左揃え(&L)"},
    {"QWebEnginePage", "Align &Center", "中央揃え(&C)"},
    {"QWebEnginePage", "Align &Right", "右揃え(&R)"},
    {"QWebEnginePage", "Align &Justified", "両端揃え(&J)"},
    {"QWebEnginePage", "&Indent", "インデントを増やす(&I)"},
    {"QWebEnginePage", "&Outdent", "インデントを減らす(&O)"},
    {"QWebEnginePage", "Insert &Ordered List", "番号付きリストを挿入(&O)"},
    {"QWebEnginePage", "Insert &Unordered List", "箇条書きを挿入(&U)"},
    {"QWebEnginePage", "Select folder to upload", "アップロードするフォルダーを選択"},
    {"QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.",
     "このページを離れますか? 行った変更は保存されない可能性があります。"},
    {"DownloadInterruptReason", "Unknown reason or not interrupted", "原因はわかりません"},
    {"DownloadInterruptReason", "General file operation failure", "ファイルを書き込めませんでした"},
    {"DownloadInterruptReason", "The file cannot be written locally, due to access restrictions",
     "アクセス権がないため、ファイルを書き込めません"},
    {"DownloadInterruptReason", "Insufficient space on the target drive",
     "保存先のディスクの空き容量が足りません"},
    {"DownloadInterruptReason", "The directory or file name is too long",
     "フォルダー名またはファイル名が長すぎます"},
    {"DownloadInterruptReason", "The file size exceeds the file system limitation",
     "ファイルが大きすぎて、このファイル システムには保存できません"},
    {"DownloadInterruptReason", "The file is infected with a virus", "ファイルはウイルスに感染しています"},
    {"DownloadInterruptReason", "Temporary problem (for example file in use, or too many open files)",
     "一時的な問題が起きました (ファイルが使用中か、開いているファイルが多すぎます)"},
    {"DownloadInterruptReason", "The file was blocked due to local policy",
     "ファイルはポリシーによりブロックされました"},
    {"DownloadInterruptReason", "Checking the safety of the download failed due to unexpected reasons",
     "ダウンロードの安全性を確認できませんでした"},
    {"DownloadInterruptReason", "File seek past the end of a file (resuming previously interrupted download)",
     "中断したダウンロードを再開できませんでした"},
    {"DownloadInterruptReason", "The partial file did not match the expected hash",
     "途中まで保存したファイルが一致しません"},
    {"DownloadInterruptReason", "General network failure", "ネットワーク エラーが起きました"},
    {"DownloadInterruptReason", "The network operation has timed out",
     "ネットワークの操作がタイムアウトしました"},
    {"DownloadInterruptReason", "The network connection has been terminated", "ネットワーク接続が切れました"},
    {"DownloadInterruptReason", "The server has gone down", "サーバーが停止しました"},
    {"DownloadInterruptReason", "The network request was invalid (for example, the URL or scheme is invalid)",
     "ネットワーク要求が正しくありません (アドレスが正しくない可能性があります)"},
    {"DownloadInterruptReason", "General server failure", "サーバー エラーが起きました"},
    {"DownloadInterruptReason", "Unexpected server response", "サーバーから予期しない応答がありました"},
    {"DownloadInterruptReason", "The server does not have the requested data",
     "サーバーに要求したデータがありません"},
    {"DownloadInterruptReason", "The server did not authorize access to the resource",
     "サーバーがアクセスを許可しませんでした"},
    {"DownloadInterruptReason", "A problem with the server certificate occurred",
     "サーバーの証明書に問題があります"},
    {"DownloadInterruptReason", "Access forbidden by the server", "サーバーがアクセスを拒否しました"},
    {"DownloadInterruptReason", "Download canceled by the user", "ダウンロードは取り消されました"},
};

class EngineTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (!context || !sourceText)
            return QString();
        for (const EngineText &text : kEngineTexts)
            if (std::strcmp(text.context, context) == 0 && std::strcmp(text.source, sourceText) == 0)
                return QString::fromUtf8(text.japanese);
        return QString();
    }
};

// An https page loads nothing over plain http: the engine itself blocks
// only scripts, frames and style sheets (active content) and would load
// images, audio and video of an https page unencrypted.
class MixedContentBlocker : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        if (info.requestUrl().scheme() == QLatin1String("http") &&
            info.firstPartyUrl().scheme() == QLatin1String("https"))
            info.block(true);
    }
};

EngineEnvironment &Environment()
{
    static EngineEnvironment environment;
    return environment;
}

QWebEngineProfile *&Profile()
{
    static QWebEngineProfile *profile = nullptr;
    return profile;
}

// Chromium takes its language (error pages, built-in texts) from --lang when
// its context starts, which happens with the first profile.
void SetChromiumLanguage(const QString &locale)
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--lang="))
        return;
    if (!flags.isEmpty())
        flags += ' ';
    flags += "--lang=" + locale.toLatin1();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace

void SetUpEngine(const EngineEnvironment &environment)
{
    if (Profile())
        return;
    Environment() = environment;
}

QWebEngineProfile *ModuleProfile()
{
    QWebEngineProfile *&profile = Profile();
    if (profile)
        return profile;
    const EngineEnvironment &environment = Environment();
    if (!environment.locale.isEmpty())
        SetChromiumLanguage(environment.locale);
    if (environment.locale.startsWith(QLatin1String("ja")) && QCoreApplication::instance())
        QCoreApplication::installTranslator(new EngineTranslator(QCoreApplication::instance()));

    // The profile lives as long as the program: controls and transfers use
    // it until the very end.
    if (environment.dataFolder.isEmpty()) {
        profile = new QWebEngineProfile();
    } else {
        const QString folder = QDir(environment.dataFolder).filePath(QStringLiteral("iexplore-profile"));
        profile = new QWebEngineProfile(QStringLiteral("iexplore"));
        profile->setPersistentStoragePath(folder);
        profile->setCachePath(QDir(folder).filePath(QStringLiteral("cache")));
    }
    profile->setHttpAcceptLanguage(environment.acceptLanguages);
    profile->setUrlRequestInterceptor(new MixedContentBlocker(profile));
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, &RouteDownload);
    return profile;
}

} // namespace orvex::webengine

extern "C" __attribute__((visibility("default"))) void
OrvexSetupEngine(const orvex::EngineEnvironment *environment)
{
    if (environment)
        orvex::webengine::SetUpEngine(*environment);
}
