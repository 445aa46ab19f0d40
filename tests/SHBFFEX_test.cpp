#include "dialogs/SHBFFEX.h"

#include "support/QtApp.h"
#include "support/TempFolder.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace orvex {
namespace {

// A home folder of the test's own, so the desktop and the XDG folders are known.
class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureQApp();
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char *value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
        setenv("HOME", home.Path().c_str(), 1);
        QDir().mkpath(Home("Desktop/Projects"));
        QDir().mkpath(Home("work/src/lib"));
        home.Write("Desktop/notes.txt", "x");
    }
    void TearDown() override
    {
        TSHBrowseForFolderEx::RunHook = nullptr;
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }
    QString Home(const std::string &relative = "") const
    {
        return QString::fromStdString(relative.empty() ? home.Path() : home.File(relative));
    }

    // Runs the picker with a hook that records what the dialog showed, then
    // lets `answer` act on it.
    struct Seen {
        QString root, initial, status, title;
        bool okEnabled = false;
        QPoint pos;
        bool ran = false;
    };
    bool Run(TSHBrowseForFolderEx &picker, const std::function<void(FolderBrowseDialog &)> &answer = {})
    {
        seen = Seen();
        TSHBrowseForFolderEx::RunHook = [&](FolderBrowseDialog &dialog) {
            seen.ran = true;
            seen.root = dialog.RootPath();
            seen.initial = dialog.CurrentPath();
            seen.status = dialog.StatusText();
            seen.okEnabled = dialog.OkButton()->isEnabled();
            seen.pos = dialog.pos();
            if (answer)
                answer(dialog);
            else
                dialog.reject();
            return dialog.result();
        };
        return picker.Execute();
    }

    test::TempFolder home;
    Seen seen;

private:
    std::vector<std::pair<const char *, std::optional<std::string>>> saved_;
};

TEST_F(FolderPickerTest, DefaultsStartAtTheTopWithTheDrivesSelectedOverTheOwner)
{
    QWidget owner;
    owner.setGeometry(130, 90, 400, 300);
    owner.show();
    TSHBrowseForFolderEx picker(&owner);
    EXPECT_EQ(picker.Options, TSHBrowseOptions{sboReturnOnlyFSDirs});

    EXPECT_TRUE(Run(picker, [](FolderBrowseDialog &d) { d.PressOk(); }));
    EXPECT_EQ(seen.root, QStringLiteral("/"));
    EXPECT_EQ(seen.initial, QStringLiteral("/"));
    EXPECT_TRUE(seen.okEnabled);
    EXPECT_EQ(seen.pos, owner.mapToGlobal(QPoint(0, 0)));
    EXPECT_EQ(picker.FolderPath(), QStringLiteral("/"));
    EXPECT_EQ(picker.DisplayName(), QStringLiteral("/"));
}

TEST_F(FolderPickerTest, CancelLeavesNoResult)
{
    TSHBrowseForFolderEx picker;
    picker.SelectFolder = sfManual;
    picker.SelectFolderName = Home("work/src");
    ASSERT_TRUE(Run(picker, [](FolderBrowseDialog &d) { d.PressOk(); }));
    EXPECT_EQ(picker.FolderPath(), Home("work/src"));
    EXPECT_EQ(picker.DisplayName(), QStringLiteral("src"));

    // A cancelled run clears the results of the one before.
    EXPECT_FALSE(Run(picker));
    EXPECT_TRUE(seen.ran);
    EXPECT_EQ(picker.FolderPath(), QString());
    EXPECT_EQ(picker.DisplayName(), QString());
}

TEST_F(FolderPickerTest, ManualSelectionFallsBackToTheDesktop)
{
    TSHBrowseForFolderEx picker;
    picker.SelectFolder = sfManual;
    picker.SelectFolderName = Home("Desktop/notes.txt"); // a file, not a folder
    Run(picker);
    EXPECT_EQ(seen.initial, Home("Desktop"));

    picker.SelectFolderName = QStringLiteral("Projects"); // names are parsed on the desktop
    Run(picker);
    EXPECT_EQ(seen.initial, Home("Desktop/Projects"));

    // Without a desktop folder the home folder stands for it.
    QDir(Home("Desktop")).removeRecursively();
    picker.SelectFolderName = QString();
    Run(picker);
    EXPECT_EQ(seen.initial, Home());
}

TEST_F(FolderPickerTest, NothingAboveTheRootCanBeReached)
{
    TSHBrowseForFolderEx picker;
    picker.RootFolder = rfManual;
    picker.RootFolderName = Home("work");
    picker.SelectFolder = sfManual;
    picker.SelectFolderName = Home("Desktop/Projects"); // outside the root

    QStringList topLevel;
    bool leftRoot = true, wentDown = false;
    QString afterDown;
    const bool chosen = Run(picker, [&](FolderBrowseDialog &d) {
        QAbstractItemModel *model = d.Tree()->model();
        const QModelIndex top = d.Tree()->rootIndex();
        // The file system model lists folders in the background.
        QElapsedTimer waited;
        waited.start();
        while (model->rowCount(top) == 0 && waited.elapsed() < 3000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        for (int row = 0; row < model->rowCount(top); ++row)
            topLevel << model->index(row, 0, top).data(Qt::DisplayRole).toString();
        leftRoot = d.SelectPath(Home()) || d.SelectPath(QStringLiteral("/")) ||
                   d.SelectPath(Home("work/../Desktop"));
        d.PressOk(); // nothing selected yet: OK is disabled
        wentDown = d.SelectPath(Home("work/src/lib"));
        afterDown = d.CurrentPath();
        if (d.result() != QDialog::Accepted)
            d.reject();
    });
    EXPECT_FALSE(chosen);
    EXPECT_EQ(seen.initial, QString()); // an initial folder outside the root is not selected
    EXPECT_FALSE(seen.okEnabled);
    EXPECT_EQ(topLevel, QStringList{QStringLiteral("work")});
    EXPECT_FALSE(leftRoot);
    EXPECT_TRUE(wentDown);
    EXPECT_EQ(afterDown, Home("work/src/lib"));
}

TEST_F(FolderPickerTest, NoRootMeansNoDialog)
{
    TSHBrowseForFolderEx picker;
    picker.RootFolder = rfFavorites; // ~/Favorites does not exist here
    EXPECT_FALSE(Run(picker));
    EXPECT_FALSE(seen.ran);
}

TEST_F(FolderPickerTest, SelectionEventsSetTheStatusAndTheOkButton)
{
    TSHBrowseForFolderEx picker;
    picker.Options = {sboReturnOnlyFSDirs, sboStatusText};
    picker.RootFolder = rfManual;
    picker.RootFolderName = Home("work");
    std::vector<QString> paths;
    picker.OnSelectionChanged = [&](TSHBrowseForFolderEx *sender, QWidget *wnd, const QString &path,
                                    QString &showText, TOKButtonState &ok) {
        EXPECT_EQ(sender, &picker);
        EXPECT_NE(qobject_cast<FolderBrowseDialog *>(wnd), nullptr);
        paths.push_back(path);
        showText = QStringLiteral("選択: ") + QDir(path).dirName();
        ok = path.endsWith(QStringLiteral("lib")) ? obsDisabled : obsNone;
    };
    QString status;
    bool okForLib = true;
    const bool chosen = Run(picker, [&](FolderBrowseDialog &d) {
        d.SelectPath(Home("work/src/lib"));
        status = d.StatusText();
        okForLib = d.OkButton()->isEnabled();
        d.PressOk(); // refused while disabled
        d.SelectPath(Home("work/src"));
        d.PressOk();
    });
    EXPECT_TRUE(chosen);
    EXPECT_EQ(picker.FolderPath(), Home("work/src"));
    EXPECT_EQ(status, QStringLiteral("選択: lib"));
    EXPECT_FALSE(okForLib);
    EXPECT_EQ(paths, (std::vector<QString>{Home("work/src/lib"), Home("work/src")}));

    // With the show-path option the status line shows the path instead.
    picker.Options = {sboStatusTextAndShowPath};
    Run(picker, [&](FolderBrowseDialog &d) {
        d.SelectPath(Home("work/src"));
        status = d.StatusText();
    });
    EXPECT_EQ(status, Home("work/src"));
}

TEST_F(FolderPickerTest, CenterScreenPlacement)
{
    TSHBrowseForFolderEx picker;
    picker.ShowStyle = ssCenterScreen;
    QSize size;
    Run(picker, [&](FolderBrowseDialog &d) { size = d.size(); });
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(seen.pos, QPoint((work.width() - size.width()) / 2, (work.height() - size.height()) / 3));
}

TEST_F(FolderPickerTest, SpecialFoldersOfThisSystem)
{
    home.Write(".config/user-dirs.dirs", "");
    QDir().mkpath(Home(".config"));
    QDir().mkpath(Home("デスクトップ"));
    QDir().mkpath(Home("テンプレート"));
    QDir().mkpath(Home(".config/autostart"));
    QDir().mkpath(Home(".local/share/applications"));
    home.Write(".config/user-dirs.dirs", "# xdg\nXDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
                                         "XDG_TEMPLATES_DIR=\"$HOME/テンプレート\"\n");
    EXPECT_EQ(SpecialFolderPath(sfDesktop, false), Home("デスクトップ"));
    EXPECT_EQ(SpecialFolderPath(sfDesktopDir, true), Home("デスクトップ"));
    EXPECT_EQ(SpecialFolderPath(sfDesktop, true), QStringLiteral("/"));
    EXPECT_EQ(SpecialFolderPath(sfDrives, false), QStringLiteral("/"));
    EXPECT_EQ(SpecialFolderPath(sfTemplates, false), Home("テンプレート"));
    EXPECT_EQ(SpecialFolderPath(sfStartup, false), Home(".config/autostart"));
    EXPECT_EQ(SpecialFolderPath(sfPrograms, false), Home(".local/share/applications"));
    EXPECT_EQ(SpecialFolderPath(sfRecent, false), QString());

    setenv("XDG_DATA_HOME", Home("data").toUtf8().constData(), 1);
    QDir().mkpath(Home("data/RecentDocuments"));
    EXPECT_EQ(SpecialFolderPath(sfRecent, false), Home("data/RecentDocuments"));
}

} // namespace
} // namespace orvex
