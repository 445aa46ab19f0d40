// Downloads with a scripted transfer: where they are written, when they get
// their final name, and that a cancelled, failed or refused transfer leaves
// nothing behind.
#include "browser/ChildForm.h"
#include "browser/Downloads.h"
#include "browser/tmpWeb.h"
#include "shell/Main.h"
#include "support/MainHarness.h"
#include "support/QtApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

using namespace orvex;
using namespace orvex::test;

namespace {

// What the test can still see of a transfer once the manager owns it.
struct Probe {
    QString path; // where the engine was told to write
    DownloadEvents *events = nullptr;
    bool cancelled = false;
    bool deleted = false;
};

// A transfer the test drives by hand, writing where it was told as an engine does.
class ScriptedDownload : public Download {
public:
    ScriptedDownload(std::shared_ptr<Probe> probe, QString name, qint64 total = -1)
        : probe_(std::move(probe)), name_(std::move(name)), total_(total)
    {
    }
    ~ScriptedDownload() override { probe_->deleted = true; }
    QUrl Url() const override { return QUrl(QStringLiteral("http://example.com/file")); }
    QString SuggestedFileName() const override { return name_; }
    QString MimeType() const override { return QStringLiteral("application/octet-stream"); }
    qint64 TotalBytes() const override { return total_; }
    qint64 ReceivedBytes() const override { return 0; }
    void SetEvents(DownloadEvents *events) override { probe_->events = events; }
    void Start(const QString &path) override { probe_->path = path; }
    void Cancel() override
    {
        probe_->cancelled = true;
        if (!probe_->path.isEmpty())
            QFile::remove(probe_->path);
    }

private:
    std::shared_ptr<Probe> probe_;
    QString name_;
    qint64 total_;
};

// The engine side of a running transfer.
void Write(Probe &probe, const QByteArray &bytes, qint64 total)
{
    QFile file(probe.path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
    file.close();
    if (probe.events)
        probe.events->OnDownloadProgress(QFileInfo(probe.path).size(), total);
}

void Finish(Probe &probe, bool ok, const QString &error = QString())
{
    if (probe.events)
        probe.events->OnDownloadFinished(ok, error);
}

QStringList Files(const TempFolder &folder)
{
    return QDir(ToQ(folder.Path())).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

struct DownloadsTest : ::testing::Test {
    void SetUp() override { EnsureQApp(); }
    void TearDown() override { ShutdownDownloads(); }
    QString In(const char *name) const { return ToQ(folder.File(name)); }
    Download *Make(std::shared_ptr<Probe> &probe, const QString &name, qint64 total = -1)
    {
        probe = std::make_shared<Probe>();
        return new ScriptedDownload(probe, name, total);
    }
    void Pump()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    FakeUi ui;
    TempFolder folder;
};

TEST_F(DownloadsTest, WrittenUnderATemporaryNameAndRenamedWhenComplete)
{
    std::shared_ptr<Probe> probe;
    ui.saveAnswers.push_back(In("report.pdf"));
    Downloads().Add(Make(probe, QStringLiteral("../../etc/report.pdf"), 6), nullptr);

    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].initialDir, DownloadManager::DefaultFolder());
    EXPECT_EQ(ui.saveRequests[0].fileName, QStringLiteral("report.pdf")); // the server's folders stripped
    EXPECT_EQ(probe->path, In("report.pdf.part"));

    Write(*probe, "abc", 6);
    EXPECT_EQ(Files(folder), QStringList{"report.pdf.part"});
    Write(*probe, "def", 6);
    EXPECT_FALSE(QFile::exists(In("report.pdf")));
    DownloadRow *row = Downloads().Window()->Rows().at(0);
    Downloads().Window()->Refresh();
    EXPECT_EQ(row->barProgress->value(), 1000);
    EXPECT_TRUE(row->lblStatus->text().startsWith(QStringLiteral("6 バイト / 6 バイト")));
    EXPECT_TRUE(row->btnCancel->isVisibleTo(row));
    EXPECT_FALSE(row->btnOpenFolder->isVisibleTo(row));

    Finish(*probe, true);
    EXPECT_EQ(Files(folder), QStringList{"report.pdf"});
    EXPECT_EQ(folder.Read("report.pdf"), "abcdef");
    EXPECT_EQ(row->lblStatus->text(), QStringLiteral("完了 (6 バイト)"));
    EXPECT_FALSE(row->btnCancel->isVisibleTo(row));
    row->btnOpenFolder->click();
    EXPECT_EQ(ui.openedFolders, QStringList{ToQ(folder.Path())});
    Pump();
    EXPECT_TRUE(probe->deleted); // the engine's transfer is released once done
    EXPECT_FALSE(probe->cancelled);
}

TEST_F(DownloadsTest, CancelledFailedOrRefusedTransfersLeaveNothing)
{
    std::shared_ptr<Probe> refused, cancelled, failed;
    ui.saveAnswers.push_back(std::nullopt); // the save dialog cancelled
    Downloads().Add(Make(refused, QStringLiteral("a.bin")), nullptr);
    EXPECT_TRUE(refused->cancelled);
    EXPECT_TRUE(refused->deleted);
    EXPECT_TRUE(Downloads().Items().empty());

    ui.saveAnswers.push_back(In("b.bin"));
    ui.saveAnswers.push_back(In("c.bin"));
    Downloads().Add(Make(cancelled, QStringLiteral("b.bin")), nullptr);
    Downloads().Add(Make(failed, QStringLiteral("c.bin")), nullptr);
    Write(*cancelled, "partial", -1);
    Write(*failed, "partial", -1);
    EXPECT_EQ(Downloads().RunningCount(), 2);

    Downloads().Window()->Rows().at(0)->btnCancel->click();
    Finish(*failed, false, QStringLiteral("接続が切れました"));
    EXPECT_TRUE(cancelled->cancelled);
    EXPECT_TRUE(Files(folder).isEmpty());
    EXPECT_EQ(Downloads().Window()->Rows().at(0)->lblStatus->text(), QStringLiteral("キャンセルしました"));
    EXPECT_EQ(Downloads().Window()->Rows().at(1)->lblStatus->text(),
              QStringLiteral("失敗しました: 接続が切れました"));

    // An engine that writes after its end still leaves nothing.
    QFile late(failed->path);
    ASSERT_TRUE(late.open(QIODevice::WriteOnly));
    late.close();
    Pump();
    EXPECT_TRUE(Files(folder).isEmpty());

    Downloads().Window()->btnClear->click();
    EXPECT_TRUE(Downloads().Items().empty());
    EXPECT_TRUE(Downloads().Window()->Rows().empty());
}

TEST_F(DownloadsTest, AFolderThatCannotBeWrittenSaysSoInJapaneseAndLeavesNothing)
{
    folder.Write("notafolder", "x");
    std::shared_ptr<Probe> probe;
    ui.saveAnswers.push_back(In("notafolder") + "/file.bin");
    EXPECT_FALSE(Guarded([&] { Downloads().Add(Make(probe, QStringLiteral("file.bin")), nullptr); }));
    EXPECT_EQ(ui.LastMessageText(),
              QStringLiteral("フォルダ %1/notafolder に保存できません（指定されたパスが見つかりません）.")
                  .arg(ToQ(folder.Path())));
    EXPECT_TRUE(probe->cancelled);
    EXPECT_TRUE(probe->deleted);
    EXPECT_TRUE(Downloads().Items().empty());
    EXPECT_EQ(Files(folder), QStringList{"notafolder"});
}

TEST_F(DownloadsTest, AnExistingFileIsNeverOverwrittenUnasked)
{
    // A name taken while the transfer ran: the transfer gets the next free one.
    std::shared_ptr<Probe> first, second;
    ui.saveAnswers.push_back(In("a.txt"));
    ui.saveAnswers.push_back(In("a.txt"));
    Downloads().Add(Make(first, QStringLiteral("a.txt")), nullptr);
    Downloads().Add(Make(second, QStringLiteral("a.txt")), nullptr);
    EXPECT_NE(first->path, second->path); // each has a temporary file of its own
    Write(*first, "one", 3);
    Write(*second, "two", 3);
    folder.Write("a.txt", "other");
    Finish(*second, true);
    Finish(*first, true);
    EXPECT_EQ(folder.Read("a.txt"), "other");
    EXPECT_EQ(folder.Read("a (1).txt"), "two");
    EXPECT_EQ(folder.Read("a (2).txt"), "one");
    EXPECT_EQ(Downloads().Items()[0]->FinalPath(), In("a (2).txt"));

    // The proposed name is a free one; a file the user picked knowingly is replaced.
    EXPECT_EQ(FreeFileName(ToQ(folder.Path()), QStringLiteral("a.txt")), QStringLiteral("a (3).txt"));
    EXPECT_EQ(FreeFileName(ToQ(folder.Path()), QStringLiteral("README")), QStringLiteral("README"));
    std::shared_ptr<Probe> replacing;
    ui.saveAnswers.push_back(In("a.txt"));
    Downloads().Add(Make(replacing, QStringLiteral("a.txt")), nullptr);
    Write(*replacing, "new", 3);
    Finish(*replacing, true);
    EXPECT_EQ(folder.Read("a.txt"), "new");
    EXPECT_FALSE(QFile::exists(In("a (3).txt")));
}

TEST_F(DownloadsTest, ServerNamesAreMadeSafe)
{
    EXPECT_EQ(SafeFileName(QStringLiteral("..\\..\\x.exe")), QStringLiteral("x.exe"));
    EXPECT_EQ(SafeFileName(QStringLiteral(".bashrc")), QStringLiteral("bashrc"));
    EXPECT_EQ(SafeFileName(QStringLiteral("a\nb\x01.txt")), QStringLiteral("ab.txt"));
    EXPECT_EQ(SafeFileName(QStringLiteral("dir/")), QStringLiteral("ダウンロード"));
    EXPECT_EQ(SafeFileName(QString(300, 'x')).size(), 200);
    // Invisible direction and format characters go; the extension shows as it is.
    EXPECT_EQ(SafeFileName(QStringLiteral("invoice\u202Etxt.exe")), QStringLiteral("invoicetxt.exe"));
    EXPECT_EQ(SafeFileName(QStringLiteral("\u200Ba\u2066b\uFEFF.pdf")), QStringLiteral("ab.pdf"));
    // Long names are cut by bytes before the extension, never inside a character.
    const QString kana = SafeFileName(QString(200, QChar(0x30A2)) + QStringLiteral(".pdf"));
    EXPECT_EQ(kana, QString(65, QChar(0x30A2)) + QStringLiteral(".pdf"));
    const QString emoji = SafeFileName(QString::fromUtf8("😀").repeated(80) + QStringLiteral(".tar"));
    EXPECT_EQ(emoji, QString::fromUtf8("😀").repeated(49) + QStringLiteral(".tar"));
    EXPECT_EQ(SafeFileName(QStringLiteral("\u202E.exe")), QStringLiteral("exe"));
}

TEST_F(DownloadsTest, TransfersOfAPageGoOnWhenItsWindowCloses)
{
    MainHarness h;
    h.form->OpenNewWindow(h.form->ToolsEngine(), QStringLiteral("http://example.com/"), QStringLiteral("c"));
    TChildForm *child = h.Child(0);
    std::shared_ptr<Probe> one, two;
    // The harness's own FakeUi, installed last, answers.
    h.ui.saveAnswers.push_back(In("one.bin"));
    h.ui.saveAnswers.push_back(In("two.bin"));
    child->OnFileDownload(Make(one, QStringLiteral("one.bin")));
    child->OnFileDownload(Make(two, QStringLiteral("two.bin")));
    EXPECT_EQ(Downloads().RunningCount(), 2);
    EXPECT_TRUE(Downloads().Window()->isVisible());

    child->CloseWindow();
    h.Pump();
    EXPECT_EQ(h.form->ChildCount(), 0);
    // Quitting while transfers run asks first; the refusing answer keeps the program.
    h.form->show();
    h.form->close();
    ASSERT_EQ(h.ui.questions.size(), 1u);
    EXPECT_EQ(h.ui.questions[0].refuseCaption, QStringLiteral("終了しない"));
    EXPECT_TRUE(h.form->isVisible());

    Write(*one, "1", 1);
    Write(*two, "22", 2);
    Finish(*one, true);
    Finish(*two, true);
    EXPECT_EQ(folder.Read("one.bin"), "1");
    EXPECT_EQ(folder.Read("two.bin"), "22");

    // A pop-up that turns out to be a download is saved as well.
    std::shared_ptr<Probe> popup;
    h.ui.saveAnswers.push_back(In("popup.bin"));
    Tfrm_tmpWeb catcher(EngineKind::InternetExplorer, {}, h.form);
    catcher.OnFileDownload(Make(popup, QStringLiteral("popup.bin")));
    EXPECT_EQ(popup->path, In("popup.bin.part"));
    EXPECT_FALSE(popup->cancelled);
}

} // namespace
