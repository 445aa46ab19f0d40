#include "dialogs/Option.h"

#include "core/LineList.h"
#include "core/ProfileFile.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "dialogs/SHBFFEX.h"
#include "support/FakeUi.h"
#include "support/QtApp.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {
namespace {

// The main window as the dialog sees it: records what is applied to it.
class RecordingMain : public OptionHost {
public:
    void SetGeckoItemEnabled(bool enabled) override { geckoItem.push_back(enabled); }
    void ApplyTabWidth(int width) override { tabWidths.push_back(width); }
    void ApplyTabType(int type) override { tabTypes.push_back(type); }

    std::vector<bool> geckoItem;
    std::vector<int> tabWidths;
    std::vector<int> tabTypes;
};

class OptionTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureQApp(); }
    void TearDown() override { TSHBrowseForFolderEx::RunHook = nullptr; }

    std::unique_ptr<Tfrm_Option> Open()
    {
        auto dialog = std::make_unique<Tfrm_Option>(main, dir.Path() + "/");
        dialog->show();
        return dialog;
    }
    void WriteConfig(const std::string &text) { dir.Write("config.ini", text); }
    std::string Config() const { return dir.Read("config.ini"); }
    std::string Key(const char *section, const char *key) const
    {
        return ReadProfileValue(dir.File("config.ini"), section, key).value_or("<missing>");
    }

    test::TempFolder dir;
    RecordingMain main;
    test::FakeUi ui;
};

TEST_F(OptionTest, OkOnAFreshFolderWritesEveryKeyInOrderAndTheBlockList)
{
    auto dialog = Open();
    // No CloseURL.txt yet: told once, and the designed page stays in front.
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0],
              QString::fromStdString("Orvex|ファイル " + dir.File("CloseURL.txt") + " は開けません."));
    EXPECT_EQ(dialog->PageCTL->currentWidget(), dialog->TabSheet5);
    EXPECT_EQ(dialog->TreeView1->currentItem(), nullptr);
    EXPECT_EQ(main.geckoItem, std::vector<bool>{false});

    dialog->PopList->setPlainText(QStringLiteral("*ads.example.com*\n*ポップ*\n"));
    dialog->Button1->click();

    EXPECT_EQ(Config(), "[Option_Main]\r\nMozPath=\r\nMozilla=0\r\n"
                        "[Option_Window]\r\nBookMark=0\r\nAddressBar=0\r\nNewWindow_Active=0\r\n"
                        "[Option_advertisemen]\r\nCloseURL=0\r\n"
                        "[Option_Tab]\r\nfix=0\r\nMaxSize=75\r\nLen=0\r\nMaxLen=0\r\nTabType=0\r\n"
                        "ActivateChColor=clWindowText\r\nActivateBGColor=clBtnFace\r\n"
                        "DeActivateChColor=clWindowText\r\nDeActivateBGColor=clBtnFace\r\n"
                        "[Option_StartUp]\r\nType=0\r\nPath=\r\n");
    EXPECT_EQ(LoadLineList(dir.File("CloseURL.txt")),
              (std::vector<std::string>{"*ads.example.com*", "*ポップ*"}));
    EXPECT_TRUE(main.tabWidths.empty()); // "fix" off: the width stays
    EXPECT_EQ(main.tabTypes, std::vector<int>{0});
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ui.messages.size(), 1);
}

// The names of the files that came into `folder` (saved whole: renamed or
// closed after writing) since the watch began.
class SaveWatch {
public:
    explicit SaveWatch(const std::string &folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~SaveWatch() { close(fd_); }
    std::vector<std::string> Saved()
    {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        ssize_t n = 0;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0 && event->name[0] != '.')
                    names.emplace_back(event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return names;
    }

private:
    int fd_;
};

TEST_F(OptionTest, OkSavesTheSettingsOnceAndTheBlockListOnlyWhenChanged)
{
    WriteConfig("[Option_Tab]\r\nMaxSize=90\r\n");
    dir.Write("CloseURL.txt", "*a*\r\n*b*\r\n");
    SaveWatch watch(dir.Path());
    Open()->Button1->click();
    EXPECT_EQ(watch.Saved(), std::vector<std::string>{"config.ini"});
    EXPECT_EQ(Key("Option_Tab", "MaxSize"), "90");
    EXPECT_EQ(Key("Option_StartUp", "Path"), "");

    auto dialog = Open();
    dialog->PopList->setPlainText(QStringLiteral("*a*\n*c*"));
    dialog->Button1->click();
    EXPECT_EQ(watch.Saved(), (std::vector<std::string>{"config.ini", "CloseURL.txt"}));
    EXPECT_EQ(dir.Read("CloseURL.txt"), "*a*\r\n*c*\r\n");
}

TEST_F(OptionTest, LoadsEveryValueAndShowsTheFirstPage)
{
    WriteConfig("[Option_Main]\r\nMozilla=0\r\nMozPath=/opt/ゲッコー\r\n"
                "[Option_Window]\r\nBookMark=2\r\nAddressBar=0\r\nNewWindow_Active=1\r\n"
                "[Option_advertisemen]\r\nCloseURL=1\r\n"
                "[Option_Tab]\r\nfix=1\r\nMaxSize=120\r\nLen=0\r\nMaxLen=7\r\nTabType=1\r\n"
                "ActivateChColor=clRed\r\nActivateBGColor=$00FF8000\r\n"
                "[Option_StartUp]\r\nType=1\r\nPath=http://example.com/\r\n");
    dir.Write("CloseURL.txt", "*a*\r\n*b*\r\n");
    auto dialog = Open();

    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(dialog->PageCTL->currentWidget(), dialog->TabSheet1);
    EXPECT_TRUE(dialog->TreeView1->topLevelItem(1)->isExpanded());
    EXPECT_FALSE(dialog->chkMoz->isChecked());
    EXPECT_FALSE(dialog->txtMozPath->isEnabled());
    EXPECT_FALSE(dialog->BitBtn1->isEnabled());
    EXPECT_EQ(dialog->txtMozPath->text(), QStringLiteral("/opt/ゲッコー"));
    EXPECT_TRUE(dialog->chkWin1->isChecked()); // 2 is on for the dialog
    EXPECT_FALSE(dialog->chkWin2->isChecked());
    EXPECT_TRUE(dialog->chkActive3->isChecked());
    EXPECT_TRUE(dialog->chkPop->isChecked());
    EXPECT_TRUE(dialog->txtTabSize->isEnabled());
    EXPECT_EQ(dialog->txtTabSize->text(), QStringLiteral("120"));
    EXPECT_FALSE(dialog->txtTabLen->isEnabled());
    EXPECT_FALSE(dialog->UpDown2->isEnabled());
    EXPECT_EQ(dialog->txtTabLen->text(), QStringLiteral("7"));
    EXPECT_EQ(dialog->cmbTabType->currentText(), QStringLiteral("ボタン"));
    EXPECT_EQ(dialog->ChColor1->Color(), 0x000000FFu);
    EXPECT_EQ(dialog->BGColor1->Color(), 0x00FF8000u);
    EXPECT_EQ(dialog->ColorPanel1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(dialog->ColorPanel1->palette().color(QPalette::Window), QColor(0x00, 0x80, 0xFF));
    EXPECT_TRUE(dialog->radURL->isChecked());
    EXPECT_TRUE(dialog->txtStartPath->isEnabled());
    EXPECT_FALSE(dialog->BitBtn2->isEnabled());
    EXPECT_EQ(dialog->txtStartPath->text(), QStringLiteral("http://example.com/"));
    EXPECT_EQ(dialog->PopList->toPlainText(), QStringLiteral("*a*\n*b*"));

    // The tree chooses the page by the node's text.
    const std::pair<QTreeWidgetItem *, QWidget *> nodes[] = {
        {dialog->TreeView1->topLevelItem(1)->child(0), dialog->TabSheet4},
        {dialog->TreeView1->topLevelItem(3), dialog->TabSheet5},
        {dialog->TreeView1->topLevelItem(2), dialog->TabSheet3},
        {dialog->TreeView1->topLevelItem(1), dialog->TabSheet2},
    };
    for (const auto &[node, page] : nodes) {
        dialog->TreeView1->setCurrentItem(node);
        EXPECT_EQ(dialog->PageCTL->currentWidget(), page) << node->text(0).toStdString();
    }
}

TEST_F(OptionTest, SleepValuesOutsideTheBoxesRangesStayAsWrittenUntilChanged)
{
    WriteConfig("[Option_Ext]\r\nSleep=0\r\nSleepFreezeSeconds=0\r\nSleepMemoryMB=-5\r\n");
    auto dialog = Open();
    EXPECT_FALSE(dialog->chkSleep->isChecked());
    EXPECT_FALSE(dialog->spnSleepMemory->isEnabled());
    EXPECT_EQ(dialog->spnSleepFreeze->value(), 1);
    EXPECT_EQ(dialog->spnSleepDiscard->value(), 30);
    dialog->Button1->click();
    EXPECT_EQ(Key("Option_Ext", "SleepFreezeSeconds"), "0");
    EXPECT_EQ(Key("Option_Ext", "SleepMemoryMB"), "-5");
    EXPECT_EQ(Key("Option_Ext", "History"), "<missing>");

    dialog = Open();
    dialog->spnSleepFreeze->setValue(45);
    dialog->Button1->click();
    EXPECT_EQ(Key("Option_Ext", "SleepFreezeSeconds"), "45");
    EXPECT_EQ(Key("Option_Ext", "SleepMemoryMB"), "-5");
}

TEST_F(OptionTest, GeckoFlagTwoShowsCheckedAndIsWrittenAsOne)
{
    ::mkdir(dir.File("gecko").c_str(), 0700);
    dir.Write("gecko/mozctl.so", "");
    WriteConfig("[Option_Main]\r\nMozilla=2\r\nMozPath=" + dir.File("gecko") + "\r\n");
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();
    EXPECT_TRUE(dialog->chkMoz->isChecked());
    EXPECT_TRUE(dialog->txtMozPath->isEnabled());
    EXPECT_EQ(main.geckoItem, std::vector<bool>{true});
    dialog->Button1->click();
    EXPECT_EQ(Key("Option_Main", "Mozilla"), "1");
}

TEST_F(OptionTest, GeckoIsRefusedWithAFolderWithoutItsModule)
{
    SetProgramFolderOverride(dir.Path() + "/"); // no module beside the program either
    const std::string before = "[Option_Main]\r\nMozilla=0\r\n";
    WriteConfig(before);
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();
    EXPECT_EQ(dialog->Button2->text(), QStringLiteral("キャンセル"));
    dialog->chkMoz->click();
    dialog->Button1->click();
    dialog->txtMozPath->setText(QString::fromStdString(dir.File("空"))); // no such folder
    dialog->Button1->click();
    EXPECT_EQ(ui.messages, (QStringList{"Orvex|mozctl.so のあるフォルダを指定してください.",
                                        QString::fromStdString("Orvex|フォルダ " + dir.File("空") +
                                                               " に mozctl.so がありません.")}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Config(), before);
    // The module beside the program serves an empty folder.
    dir.Write("mozctl.so", "");
    dialog->txtMozPath->clear();
    dialog->Button1->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Key("Option_Main", "Mozilla"), "1");
    SetProgramFolderOverride("");
}

TEST_F(OptionTest, UncheckingGeckoChangesTheMenuItemAtOnceAndCancelKeepsTheFile)
{
    WriteConfig("[Option_Main]\r\nMozilla=1\r\n");
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();
    dialog->chkMoz->click();
    EXPECT_EQ(main.geckoItem, (std::vector<bool>{true, false}));
    EXPECT_FALSE(dialog->txtMozPath->isEnabled());
    EXPECT_FALSE(dialog->BitBtn1->isEnabled());
    dialog->Button2->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Config(), "[Option_Main]\r\nMozilla=1\r\n");
    EXPECT_EQ(main.geckoItem.back(), false); // Cancel does not restore it
}

TEST_F(OptionTest, StartUpKinds)
{
    dir.Write("CloseURL.txt", "");
    WriteConfig("[Option_StartUp]\r\nType=3\r\nPath=x\r\n");
    auto other = Open();
    // A kind without a button: none checked, the controls stay enabled, and
    // the kind is written back as it was.
    EXPECT_FALSE(other->radNone->isChecked() || other->radURL->isChecked() || other->radWebList->isChecked());
    EXPECT_TRUE(other->txtStartPath->isEnabled());
    EXPECT_TRUE(other->BitBtn2->isEnabled());
    other->Button1->click();
    EXPECT_EQ(Key("Option_StartUp", "Type"), "3");

    // Only the lowest 8 bits count: 258 is the web list.
    WriteConfig("[Option_StartUp]\r\nType=258\r\n");
    auto webList = Open();
    EXPECT_TRUE(webList->radWebList->isChecked());
    EXPECT_TRUE(webList->BitBtn2->isEnabled());
    webList->radNone->click();
    EXPECT_FALSE(webList->txtStartPath->isEnabled());
    EXPECT_FALSE(webList->BitBtn2->isEnabled());
    webList->radURL->click();
    EXPECT_TRUE(webList->txtStartPath->isEnabled());
    EXPECT_FALSE(webList->BitBtn2->isEnabled());
    webList->Button1->click();
    EXPECT_EQ(Key("Option_StartUp", "Type"), "1");
}

TEST_F(OptionTest, TabTypeFromTheComboBox)
{
    dir.Write("CloseURL.txt", "");
    WriteConfig("[Option_Tab]\r\nTabType=5\r\n");
    auto unknown = Open();
    EXPECT_EQ(unknown->cmbTabType->currentIndex(), -1);
    EXPECT_EQ(unknown->cmbTabType->currentText(), QString());
    unknown->cmbTabType->setCurrentIndex(1);
    unknown->Button1->click();
    EXPECT_EQ(Key("Option_Tab", "TabType"), "1");
    EXPECT_EQ(main.tabTypes, std::vector<int>{1});

    // Over a selected item, text that is no item writes -1, and the main
    // window gets -1 (buttons on top).
    auto typed = Open();
    EXPECT_EQ(typed->cmbTabType->currentText(), QStringLiteral("ボタン"));
    typed->cmbTabType->setEditText(QStringLiteral("まる"));
    typed->Button1->click();
    EXPECT_EQ(Key("Option_Tab", "TabType"), "-1");
    EXPECT_EQ(main.tabTypes, (std::vector<int>{1, -1}));
}

TEST_F(OptionTest, FixedTabWidthIsAppliedAtOnce)
{
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();
    EXPECT_FALSE(dialog->txtTabSize->isEnabled());
    dialog->chkTabSize->click();
    EXPECT_TRUE(dialog->txtTabSize->isEnabled());
    EXPECT_TRUE(dialog->UpDown1->isEnabled());
    dialog->txtTabSize->setText(QStringLiteral("119"));
    dialog->UpDown1->Step(1); // the arrows step from the typed number
    EXPECT_EQ(dialog->txtTabSize->text(), QStringLiteral("120"));
    dialog->Button1->click();
    EXPECT_EQ(main.tabWidths, std::vector<int>{120});
    EXPECT_EQ(Key("Option_Tab", "fix"), "1");
    EXPECT_EQ(Key("Option_Tab", "MaxSize"), "120");
}

TEST_F(OptionTest, NonIntegerWidthStopsOkAtThatKey)
{
    dir.Write("CloseURL.txt", "*keep*\r\n");
    auto dialog = Open();
    dialog->txtMozPath->setText(QStringLiteral("/opt/gecko"));
    dialog->txtTabSize->setText(QStringLiteral("12a"));
    dialog->PopList->setPlainText(QStringLiteral("*changed*"));
    dialog->Button1->click();

    EXPECT_EQ(ui.LastMessageText(), QStringLiteral("'12a' は整数ではありません."));
    EXPECT_EQ(Key("Option_Main", "MozPath"), "/opt/gecko"); // written before the failure
    EXPECT_EQ(Key("Option_Tab", "fix"), "0");
    EXPECT_EQ(Key("Option_Tab", "MaxSize"), "<missing>");
    EXPECT_EQ(Key("Option_StartUp", "Type"), "<missing>");
    EXPECT_TRUE(main.tabTypes.empty());
    EXPECT_EQ(dir.Read("CloseURL.txt"), "*keep*\r\n");
    EXPECT_TRUE(dialog->isVisible());

    // The limit is checked the same way, after the width.
    dialog->txtTabSize->setText(QStringLiteral("80"));
    dialog->txtTabLen->setText(QString());
    dialog->Button1->click();
    EXPECT_EQ(ui.LastMessageText(), QStringLiteral("'' は整数ではありません."));
    EXPECT_EQ(Key("Option_Tab", "MaxSize"), "80");
    EXPECT_EQ(Key("Option_Tab", "MaxLen"), "<missing>");
}

TEST_F(OptionTest, InvalidColourStopsLoading)
{
    WriteConfig("[Option_Main]\r\nMozilla=1\r\n"
                "[Option_Tab]\r\nActivateChColor=clBlue\r\nActivateBGColor=bogus\r\n"
                "[Option_StartUp]\r\nType=1\r\nPath=http://x/\r\n");
    dir.Write("CloseURL.txt", "*a*\r\n");
    auto dialog = Open();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.LastMessageText(), QStringLiteral("'bogus' は整数ではありません."));
    EXPECT_TRUE(dialog->chkMoz->isChecked());          // loaded before the colour
    EXPECT_EQ(dialog->ChColor1->Color(), 0x00FF0000u); // the colour before it
    EXPECT_FALSE(dialog->radURL->isChecked());         // loading stopped
    EXPECT_EQ(dialog->txtStartPath->text(), QString());
    EXPECT_EQ(dialog->PopList->toPlainText(), QString()); // creation stopped too
    EXPECT_EQ(dialog->PageCTL->currentWidget(), dialog->TabSheet5);
}

TEST_F(OptionTest, TwoDialogsAreIndependentAndTheLastOkWins)
{
    dir.Write("CloseURL.txt", "");
    WriteConfig("[Option_Main]\r\nMozPath=/first\r\n");
    auto first = Open();
    WriteConfig("[Option_Main]\r\nMozPath=/second\r\n");
    auto second = Open();
    EXPECT_EQ(first->txtMozPath->text(), QStringLiteral("/first"));
    EXPECT_EQ(second->txtMozPath->text(), QStringLiteral("/second"));

    second->chkPop->click();
    second->Button1->click();
    EXPECT_EQ(Key("Option_advertisemen", "CloseURL"), "1");
    first->Button1->click();
    EXPECT_EQ(Key("Option_Main", "MozPath"), "/first");
    EXPECT_EQ(Key("Option_advertisemen", "CloseURL"), "0");
}

TEST_F(OptionTest, ColourSwatchesStartFromTheLastChosenColour)
{
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();
    ui.colorAnswers = {0x000000FFu, std::nullopt, 0x00123456u};
    dialog->ColorClick(dialog->ChColor1);
    dialog->ColorClick(dialog->BGColor2); // cancelled
    dialog->ColorClick(dialog->BGColor2);
    ASSERT_EQ(ui.colorInitials.size(), 3u);
    EXPECT_EQ(ui.colorInitials[0], 0u); // black the first time, not the swatch's colour
    EXPECT_EQ(ui.colorInitials[1], 0x000000FFu);
    EXPECT_EQ(ui.colorInitials[2], 0x000000FFu); // a cancel changes nothing
    EXPECT_EQ(dialog->ChColor1->Color(), 0x000000FFu);
    EXPECT_EQ(dialog->BGColor2->Color(), 0x00123456u);
    EXPECT_EQ(dialog->ColorPanel1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(dialog->ColorPanel2->palette().color(QPalette::Window), QColor(0x56, 0x34, 0x12));

    dialog->Button1->click();
    EXPECT_EQ(Key("Option_Tab", "ActivateChColor"), "clRed");
    EXPECT_EQ(Key("Option_Tab", "DeActivateBGColor"), "$00123456");
    EXPECT_EQ(Key("Option_Tab", "ActivateBGColor"), "clBtnFace");
}

TEST_F(OptionTest, BrowseButtons)
{
    WriteConfig("[Option_Main]\r\nMozilla=1\r\n[Option_StartUp]\r\nType=2\r\nPath=old.wlf\r\n");
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();

    ui.openAnswers = {std::nullopt, QStringLiteral("/lists/news.wlf")};
    dialog->BitBtn2->click();
    EXPECT_EQ(dialog->txtStartPath->text(), QStringLiteral("old.wlf"));
    dialog->BitBtn2->click();
    EXPECT_EQ(dialog->txtStartPath->text(), QStringLiteral("/lists/news.wlf"));
    ASSERT_EQ(ui.openRequests.size(), 2u);
    EXPECT_EQ(ui.openRequests[0].initialDir, QString::fromStdString(dir.Path() + "/WebList"));
    EXPECT_EQ(ui.openRequests[0].filter, QStringLiteral("WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*"));

    // The Gecko folder comes from the folder picker with its caption.
    QString caption;
    TSHBrowseForFolderEx::RunHook = [&](FolderBrowseDialog &picker) {
        caption = picker.windowTitle() + "|" + picker.findChild<QLabel *>()->text();
        picker.SelectPath(QString::fromStdString(dir.Path()));
        picker.PressOk();
        return picker.result();
    };
    dialog->BitBtn1->click();
    EXPECT_EQ(dialog->txtMozPath->text(), QString::fromStdString(dir.Path()));
    EXPECT_TRUE(caption.endsWith(QStringLiteral("|Mozillaのあるフォルダを選択してください。")));
    TSHBrowseForFolderEx::RunHook = [](FolderBrowseDialog &picker) {
        picker.reject();
        return picker.result();
    };
    dialog->BitBtn1->click();
    EXPECT_EQ(dialog->txtMozPath->text(), QString::fromStdString(dir.Path()));
}

TEST_F(OptionTest, EnterAndEscapePressNeitherButton)
{
    dir.Write("CloseURL.txt", "");
    auto dialog = Open();
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &press);
    }
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dir.Read("config.ini").size());
}

} // namespace
} // namespace orvex
