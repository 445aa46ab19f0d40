#include "browser/Downloads.h"

#include "core/Settings.h"

#include "core/Errors.h"
#include "core/SystemErrors.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace orvex {

namespace {

QString Text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// "name.ext" with " (n)" before the last extension.
QString NumberedName(const QString &name, int n)
{
    const int dot = name.lastIndexOf('.');
    const QString number = QStringLiteral(" (%1)").arg(n);
    if (dot <= 0)
        return name + number;
    return name.left(dot) + number + name.mid(dot);
}

bool Exists(const QString &path)
{
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// Moves the complete file to its final name and returns the name it got;
// 0 in `code` on success, else the errno. Without `replace` an existing
// file is never overwritten: the next free "name (n).ext" is taken.
QString CommitFile(const QString &temp, const QString &final, bool replace, int &code)
{
    const QByteArray from = QFile::encodeName(temp);
    code = 0;
    if (replace) {
        if (::rename(from.constData(), QFile::encodeName(final).constData()) == 0)
            return final;
        code = errno;
        return QString();
    }
    const QFileInfo info(final);
    for (int n = 0; n < 10000; ++n) {
        const QString candidate = n == 0 ? final : info.dir().filePath(NumberedName(info.fileName(), n));
        const QByteArray to = QFile::encodeName(candidate);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS) {
            code = errno;
            return QString();
        }
        // A file system without the no-replace rename: look first.
        if (Exists(candidate))
            continue;
        if (::rename(from.constData(), to.constData()) == 0)
            return candidate;
        code = errno;
        return QString();
    }
    code = EEXIST;
    return QString();
}

} // namespace

namespace {

// Characters a file name never keeps: controls, and the invisible format
// characters (bidirectional overrides would show "invoice\u202Etxt.exe" as
// "invoiceexe.txt").
bool Unwanted(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format ||
           category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
}

int Utf8Bytes(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// The first characters of `text` that fit in `bytes` UTF-8 bytes.
QString CutToBytes(const QString &text, int bytes)
{
    QString cut;
    for (const char32_t c : text.toUcs4()) {
        bytes -= Utf8Bytes(c);
        if (bytes < 0)
            break;
        cut += QString::fromUcs4(&c, 1);
    }
    return cut;
}

} // namespace

QString SafeFileName(const QString &suggested)
{
    QString name = suggested;
    name.replace('\\', '/');
    name = name.mid(name.lastIndexOf('/') + 1);
    QString clean;
    for (const char32_t c : name.toUcs4())
        if (!Unwanted(c))
            clean += QString::fromUcs4(&c, 1);
    clean = clean.trimmed();
    while (clean.startsWith('.'))
        clean.remove(0, 1);
    if (clean.toUtf8().size() > kMaxSafeNameBytes) {
        // Cut before the extension, which stays (when it is a short one).
        const int dot = clean.lastIndexOf('.');
        const QString extension = dot > 0 && clean.size() - dot <= 16 ? clean.mid(dot) : QString();
        const QString stem = clean.left(clean.size() - extension.size());
        clean = CutToBytes(stem, kMaxSafeNameBytes - extension.toUtf8().size()).trimmed() + extension;
    }
    return clean.isEmpty() || clean.startsWith('.') ? Text(txt::DownloadDefaultName) + clean : clean;
}

QString FreeFileName(const QString &folder, const QString &name)
{
    const QDir dir(folder);
    if (!Exists(dir.filePath(name)))
        return name;
    for (int n = 1;; ++n) {
        const QString candidate = NumberedName(name, n);
        if (!Exists(dir.filePath(candidate)))
            return candidate;
    }
}

QString FormatSize(qint64 bytes)
{
    if (bytes < 1024)
        return Text(txt::Bytes).arg(bytes);
    if (bytes < 1024 * 1024)
        return Text(txt::KiloBytes).arg(bytes / 1024.0, 0, 'f', 1);
    if (bytes < 1024LL * 1024 * 1024)
        return Text(txt::MegaBytes).arg(bytes / (1024.0 * 1024), 0, 'f', 1);
    return Text(txt::GigaBytes).arg(bytes / (1024.0 * 1024 * 1024), 0, 'f', 2);
}

// ---------------------------------------------------------------------------
// One transfer.

DownloadItem::DownloadItem(std::unique_ptr<Download> download, const QString &finalPath,
                           const QString &tempPath, bool replace)
    : download_(std::move(download)), finalPath_(finalPath), tempPath_(tempPath), replace_(replace)
{
    total_ = download_->TotalBytes();
}

DownloadItem::~DownloadItem()
{
    if (download_) {
        download_->SetEvents(nullptr);
        if (state_ == State::Running)
            download_->Cancel();
        download_.reset();
    }
    if (state_ != State::Done)
        RemoveTemp();
}

void DownloadItem::Start()
{
    clock_.start();
    download_->SetEvents(this);
    download_->Start(tempPath_);
}

void DownloadItem::Cancel()
{
    if (state_ != State::Running)
        return;
    state_ = State::Cancelled;
    download_->SetEvents(nullptr);
    download_->Cancel();
    RemoveTemp();
    ReleaseTransfer();
    emit StateChanged();
}

void DownloadItem::RemoveTemp()
{
    QFile::remove(tempPath_);
}

void DownloadItem::ReleaseTransfer()
{
    QTimer::singleShot(0, this, [this] {
        download_.reset();
        // Whatever the engine wrote after its end is not kept either.
        if (state_ != State::Done)
            RemoveTemp();
    });
}

qint64 DownloadItem::BytesPerSecond() const
{
    const qint64 ms = clock_.isValid() ? clock_.elapsed() : 0;
    return ms > 0 ? received_ * 1000 / ms : 0;
}

QString DownloadItem::StatusText() const
{
    switch (state_) {
    case State::Running:
        if (total_ > 0)
            return Text(txt::DownloadProgress)
                .arg(FormatSize(received_), FormatSize(total_), FormatSize(BytesPerSecond()));
        return Text(txt::DownloadProgressNoTotal).arg(FormatSize(received_), FormatSize(BytesPerSecond()));
    case State::Done:
        return Text(txt::DownloadDone).arg(FormatSize(received_));
    case State::Cancelled:
        return Text(txt::DownloadCancelled);
    case State::Failed:
        return Text(txt::DownloadFailed).arg(error_);
    }
    return QString();
}

void DownloadItem::OnDownloadProgress(qint64 received, qint64 total)
{
    if (state_ != State::Running)
        return;
    received_ = received;
    total_ = total;
}

void DownloadItem::OnDownloadFinished(bool ok, const QString &error)
{
    Guarded([&] {
        if (state_ != State::Running)
            return;
        download_->SetEvents(nullptr);
        if (ok) {
            int code = 0;
            const QString saved = CommitFile(tempPath_, finalPath_, replace_, code);
            if (code == 0) {
                finalPath_ = saved;
                state_ = State::Done;
                if (total_ < received_)
                    total_ = received_;
            } else {
                state_ = State::Failed;
                error_ = Text(txt::DownloadCannotFinish).arg(finalPath_, ToQ(SystemErrorText(code)));
            }
        } else {
            state_ = State::Failed;
            error_ = error.isEmpty() ? Text(txt::DownloadUnknownError) : error;
        }
        if (state_ != State::Done)
            RemoveTemp();
        ReleaseTransfer();
        emit StateChanged();
    });
}

// ---------------------------------------------------------------------------
// The manager.

namespace {
DownloadManager *theManager = nullptr;
}

DownloadManager &Downloads()
{
    if (!theManager)
        theManager = new DownloadManager;
    return *theManager;
}

void ShutdownDownloads()
{
    delete theManager;
    theManager = nullptr;
}

DownloadManager::DownloadManager() = default;

DownloadManager::~DownloadManager()
{
    delete window_.data();
    items_.clear(); // cancels what still runs
}

QString DownloadManager::DefaultFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    return QDir::homePath();
}

QString DownloadManager::StartFolder() const
{
    if (!settingsPath_.empty()) {
        const QString remembered = ToQ(SettingsFile(settingsPath_).Read(keys::DownloadFolder));
        if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
            return remembered;
    }
    return DefaultFolder();
}

int DownloadManager::RunningCount() const
{
    int n = 0;
    for (const auto &item : items_)
        n += item->Running();
    return n;
}

int DownloadManager::ReserveTemp(const QString &finalPath, QString &tempPath)
{
    for (int n = 0; n < 10000; ++n) {
        const QString candidate =
            n == 0 ? finalPath + QStringLiteral(".part") : finalPath + QStringLiteral(".%1.part").arg(n);
        if (usedTemps_.contains(candidate))
            continue;
        const int fd =
            ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        // The name was free and the folder writable; the engine creates the
        // file itself (an engine may refuse to write over an existing one).
        ::close(fd);
        ::unlink(QFile::encodeName(candidate).constData());
        usedTemps_.insert(candidate);
        tempPath = candidate;
        return 0;
    }
    return EEXIST;
}

void DownloadManager::Add(Download *raw, QWidget *parent)
{
    std::unique_ptr<Download> download(raw);
    const QString folder = StartFolder();
    FileDialogRequest request;
    request.title = Text(txt::DownloadSaveTitle);
    request.filter = Text(txt::AllFilesFilter);
    request.initialDir = folder;
    request.fileName = FreeFileName(folder, SafeFileName(download->SuggestedFileName()));
    const std::optional<QString> chosen = Ui().SaveFile(parent, request);
    if (!chosen || chosen->isEmpty()) {
        download->Cancel();
        return;
    }
    const QFileInfo target(*chosen);
    // Another folder chosen is where the next save starts.
    if (!settingsPath_.empty() && QDir(target.absolutePath()) != QDir(folder))
        SettingsFile(settingsPath_).Write(keys::DownloadFolder, FromQ(target.absolutePath()));
    // The save dialog has asked before letting the user pick an existing file.
    const bool replace = target.exists();
    QString temp;
    if (const int code = ReserveTemp(target.absoluteFilePath(), temp)) {
        download->Cancel();
        throw Error(
            FromQ(Text(txt::DownloadCannotSaveIn).arg(target.absolutePath(), ToQ(SystemErrorText(code)))));
    }
    items_.push_back(
        std::make_unique<DownloadItem>(std::move(download), target.absoluteFilePath(), temp, replace));
    DownloadItem *item = items_.back().get();
    Window()->AddRow(item);
    Window()->ShowForm();
    try {
        item->Start();
    } catch (const std::exception &e) {
        item->OnDownloadFinished(false, QString::fromUtf8(e.what()));
        throw;
    }
}

void DownloadManager::RemoveFinished()
{
    items_.erase(
        std::remove_if(items_.begin(), items_.end(), [](const auto &item) { return !item->Running(); }),
        items_.end());
}

TDownloadsForm *DownloadManager::Window()
{
    if (!window_)
        window_ = new TDownloadsForm(*this);
    return window_;
}

// ---------------------------------------------------------------------------
// The window.

DownloadRow::DownloadRow(DownloadItem *item, QWidget *parent) : QFrame(parent), item_(item)
{
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QHBoxLayout(this);
    auto *text = new QVBoxLayout;
    lblName = new QLabel(QFileInfo(item->FinalPath()).fileName(), this);
    lblName->setTextFormat(Qt::PlainText);
    QFont bold = lblName->font();
    bold.setBold(true);
    lblName->setFont(bold);
    barProgress = new QProgressBar(this);
    barProgress->setTextVisible(false);
    barProgress->setMaximumHeight(14);
    lblStatus = new QLabel(this);
    lblStatus->setTextFormat(Qt::PlainText);
    text->addWidget(lblName);
    text->addWidget(barProgress);
    text->addWidget(lblStatus);
    layout->addLayout(text, 1);
    btnCancel = new QPushButton(Text(txt::DownloadCancel), this);
    btnOpenFolder = new QPushButton(Text(txt::DownloadOpenFolder), this);
    layout->addWidget(btnCancel);
    layout->addWidget(btnOpenFolder);
    connect(btnCancel, &QPushButton::clicked, this, Guard([this] { item_->Cancel(); }));
    connect(btnOpenFolder, &QPushButton::clicked, this,
            Guard([this] { Ui().OpenFolder(QFileInfo(item_->FinalPath()).absolutePath()); }));
    connect(item, &DownloadItem::StateChanged, this, Guard([this] { Update(); }));
    Update();
}

void DownloadRow::Update()
{
    lblName->setText(QFileInfo(item_->FinalPath()).fileName());
    const bool running = item_->Running();
    if (running && item_->Total() <= 0) {
        barProgress->setRange(0, 0); // size unknown: a moving bar
    } else {
        barProgress->setRange(0, 1000);
        const qint64 total = item_->Total();
        barProgress->setValue(item_->CurrentState() == DownloadItem::State::Done ? 1000
                              : total > 0
                                  ? static_cast<int>(std::min<qint64>(item_->Received() * 1000 / total, 1000))
                                  : 0);
    }
    lblStatus->setText(item_->StatusText());
    btnCancel->setVisible(running);
    btnOpenFolder->setVisible(item_->CurrentState() == DownloadItem::State::Done);
}

TDownloadsForm::TDownloadsForm(DownloadManager &manager) : QWidget(nullptr, Qt::Window), manager_(manager)
{
    setWindowTitle(Text(txt::DownloadsTitle));
    // The main window's close ends the program, whether this one is open or not.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(520, 320);
    auto *layout = new QVBoxLayout(this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    auto *list = new QWidget(scroll);
    rows_ = new QVBoxLayout(list);
    rows_->addStretch(1);
    scroll->setWidget(list);
    layout->addWidget(scroll, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    btnClear = new QPushButton(Text(txt::DownloadClearFinished), this);
    bottom->addWidget(btnClear);
    layout->addLayout(bottom);
    connect(btnClear, &QPushButton::clicked, this, Guard([this] { ClearFinished(); }));
    // Progress is shown a few times a second, however often the engine reports.
    refresh_.setInterval(250);
    connect(&refresh_, &QTimer::timeout, this, Guard([this] { Refresh(); }));
}

void TDownloadsForm::AddRow(DownloadItem *item)
{
    rows_->insertWidget(rows_->count() - 1, new DownloadRow(item, this));
    refresh_.start();
}

void TDownloadsForm::ShowForm()
{
    show();
    raise();
}

std::vector<DownloadRow *> TDownloadsForm::Rows() const
{
    std::vector<DownloadRow *> rows;
    for (int i = 0; i < rows_->count(); ++i)
        if (auto *row = qobject_cast<DownloadRow *>(rows_->itemAt(i)->widget()))
            rows.push_back(row);
    return rows;
}

void TDownloadsForm::Refresh()
{
    bool running = false;
    for (DownloadRow *row : Rows()) {
        row->Update();
        running = running || row->Item()->Running();
    }
    if (!running)
        refresh_.stop();
}

void TDownloadsForm::ClearFinished()
{
    for (DownloadRow *row : Rows())
        if (!row->Item()->Running())
            delete row;
    manager_.RemoveFinished();
}

} // namespace orvex
