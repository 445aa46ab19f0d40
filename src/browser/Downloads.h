// Downloads: the engine hands over a transfer, the user chooses where to
// save it, and the transfer is written under a temporary name in that
// folder and renamed to its final name only once complete. A cancelled or
// failed transfer leaves nothing behind. One download window for the run
// lists every transfer; transfers go on when the page's window closes.
#pragma once

#include "browser/WebBrowser.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace orvex {

// The server's file name made safe to save: no folders, no control or
// invisible format characters, no leading dots, at most kMaxSafeNameBytes
// bytes of UTF-8 (cut before the extension, which stays), so that the
// temporary ".part" name and a " (n)" still fit the system's 255; "ダウンロード"
// when nothing is left.
inline constexpr int kMaxSafeNameBytes = 200;
QString SafeFileName(const QString &suggested);
// `name` in `folder` when no file has it, else "name (1).ext", "name (2).ext"...
QString FreeFileName(const QString &folder, const QString &name);
// "512 バイト", "1.5 KB", "12.0 MB", "1.25 GB".
QString FormatSize(qint64 bytes);

class DownloadItem : public QObject, public DownloadEvents {
    Q_OBJECT
public:
    enum class State { Running, Done, Failed, Cancelled };

    // `replace`: the user chose a file that exists and agreed to replace it.
    DownloadItem(std::unique_ptr<Download> download, const QString &finalPath, const QString &tempPath,
                 bool replace);
    // A transfer still running is cancelled and its temporary file removed.
    ~DownloadItem() override;

    void Start();
    void Cancel();

    State CurrentState() const { return state_; }
    bool Running() const { return state_ == State::Running; }
    QString FinalPath() const { return finalPath_; }
    QString Error() const { return error_; }
    qint64 Received() const { return received_; }
    qint64 Total() const { return total_; }
    qint64 BytesPerSecond() const;
    // What the window shows under the file name.
    QString StatusText() const;

    void OnDownloadProgress(qint64 received, qint64 total) override;
    void OnDownloadFinished(bool ok, const QString &error) override;

signals:
    void StateChanged();

private:
    // The engine's transfer is no longer needed: released from the event
    // loop, not from inside its own call.
    void ReleaseTransfer();
    void RemoveTemp();

    std::unique_ptr<Download> download_;
    QString finalPath_;
    QString tempPath_;
    bool replace_;
    State state_ = State::Running;
    QString error_;
    qint64 received_ = 0;
    qint64 total_ = -1;
    QElapsedTimer clock_;
};

class TDownloadsForm;

class DownloadManager : public QObject {
    Q_OBJECT
public:
    DownloadManager();
    ~DownloadManager() override;

    // Takes `download` over: asks where to save it (the user's download
    // folder, the server's name proposed), reserves the temporary file and
    // starts the transfer. Cancelled by the user: the transfer goes. A
    // folder that cannot be written throws orvex::Error; nothing is left.
    void Add(Download *download, QWidget *parent);

    const std::vector<std::unique_ptr<DownloadItem>> &Items() const { return items_; }
    int RunningCount() const;
    // Drops the finished transfers from the list.
    void RemoveFinished();
    // The window, made on first use.
    TDownloadsForm *Window();
    // The user's download folder, else the home folder.
    static QString DefaultFolder();
    // The settings file that remembers the folder last saved in; the save
    // dialog starts there while it exists.
    void SetSettingsPath(const std::string &path) { settingsPath_ = path; }
    QString StartFolder() const;

private:
    // Picks a temporary name beside `finalPath` that is free and not used
    // before in this run, checking that the folder can be written; 0 or
    // the errno of the failure.
    int ReserveTemp(const QString &finalPath, QString &tempPath);

    std::vector<std::unique_ptr<DownloadItem>> items_;
    QSet<QString> usedTemps_; // never reused in a run, so a late engine clean-up hits nothing
    QPointer<TDownloadsForm> window_;
    std::string settingsPath_;
};

// The manager of the run (made on first use) and its end at shutdown, which
// cancels what still runs.
DownloadManager &Downloads();
void ShutdownDownloads();

// One row: file name, progress bar, size and speed, cancel / open folder.
class DownloadRow : public QFrame {
    Q_OBJECT
public:
    explicit DownloadRow(DownloadItem *item, QWidget *parent);
    DownloadItem *Item() const { return item_; }
    void Update();

    QLabel *lblName;
    QProgressBar *barProgress;
    QLabel *lblStatus;
    QPushButton *btnCancel;
    QPushButton *btnOpenFolder;

private:
    DownloadItem *item_;
};

// The download window: non-modal, one for the run.
class TDownloadsForm : public QWidget {
    Q_OBJECT
public:
    explicit TDownloadsForm(DownloadManager &manager);
    void AddRow(DownloadItem *item);
    void ShowForm();
    void ClearFinished();
    // Rows show their transfers' numbers; runs on a timer while any runs.
    void Refresh();
    std::vector<DownloadRow *> Rows() const;

    QPushButton *btnClear;

private:
    DownloadManager &manager_;
    QVBoxLayout *rows_;
    QTimer refresh_;
};

} // namespace orvex
