// The Bookmarks menu and the side bar of the main window, with fake engines:
// what they show of the bookmark file, where a chosen bookmark opens, and the
// editor's OK rebuilding both.
#include "bookmarks/BookMark.h"
#include "browser/ChildForm.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <optional>

using namespace orvex;
using namespace orvex::test;

namespace {

std::string Config(const std::string &bookMark)
{
    return "[General]\r\nLastEngine=IE\r\n[Option_Window]\r\nBookMark=" + bookMark + "\r\n";
}

// Hand-made, so that it can hold an empty folder and a bookmark whose
// address is the folder marker (CP932 bytes of "フォルダ").
const char kFile[] = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>"
                     "<file><name>Mail</name><url>http://m/</url></file>"
                     "<directory><name>F</name><file><name>B</name><url>http://b/</url></file>"
                     "<directory><name>G</name><file><name>C</name><url>http://c/</url></file></directory>"
                     "</directory>"
                     "<directory><name>E</name></directory>"
                     "<file><name>Was</name><url>\x83\x74\x83\x48\x83\x8b\x83\x5f</url></file>"
                     "<file><name>Blank</name><url></url></file>"
                     "<file><name>D</name><url>http://d/</url></file></bookmark>";

// "&caption|hint" per item; a sub-menu as "&caption>[...]".
QString DescribeMenu(const QList<QAction *> &actions, int from)
{
    QStringList parts;
    for (int i = from; i < actions.size(); ++i) {
        QAction *a = actions[i];
        if (a->menu() != nullptr) {
            parts << a->text() + ">[" + DescribeMenu(a->menu()->actions(), 0) + "]";
        } else {
            parts << a->text() + "|" + a->statusTip();
        }
    }
    return parts.join(", ");
}

class MainBookmarksTest : public ::testing::Test {
protected:
    void Make(const std::string &bookMark)
    {
        h.emplace(Config(bookMark));
        h->folder.Write("bookmark.xml", kFile);
        form = h->form;
        form->BuildBookmarkMenu();
        form->BuildBookmarkBar();
        form->Controls().TreeView1->expandAll();
        h->Start();
    }
    void TearDown() override
    {
        h.reset(); // with the editor the main window made, if any
        frm_BMEdit = nullptr;
    }
    QAction *Item(const QString &path) // "&F/&G/&C"
    {
        QList<QAction *> actions = form->Controls().mnuBookMark->actions();
        QAction *found = nullptr;
        for (const QString &caption : path.split('/')) {
            found = nullptr;
            for (QAction *a : actions) {
                if (a->text() == caption) {
                    found = a;
                }
            }
            if (found == nullptr) {
                return nullptr;
            }
            actions = found->menu() ? found->menu()->actions() : QList<QAction *>();
        }
        return found;
    }
    QTreeWidgetItem *Node(const QString &caption)
    {
        const auto found =
            form->Controls().TreeView1->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }
    // Every Navigate of every engine, oldest window first: "0:http://m/".
    QStringList Navigations()
    {
        QStringList calls;
        for (int i = 0; TChildForm *child = h->Child(i); ++i) {
            if (FakeEngine *engine = h->EngineOf(child)) {
                for (const std::string &call : engine->log) {
                    if (call.rfind("Navigate(", 0) == 0) {
                        calls << QString::number(i) + ":" +
                                     QString::fromStdString(call.substr(9, call.size() - 10));
                    }
                }
            }
        }
        return calls;
    }
    void Key(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(form->Controls().TreeView1, &press);
    }

    std::optional<MainHarness> h;
    TMainForm *form = nullptr;
};

TEST_F(MainBookmarksTest, AnAmpersandInANameIsShownAndTakesNoAccessKey)
{
    Make("0");
    h->folder.Write("bookmark.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>"
                                    "<directory><name>R&amp;D</name>"
                                    "<file><name>AT&amp;T</name><url>http://t/</url></file></directory>"
                                    "</bookmark>");
    form->BuildBookmarkMenu();
    EXPECT_EQ(DescribeMenu(form->Controls().mnuBookMark->actions(), 3), "&R&&D>[&AT&&T|http://t/]");
    EXPECT_EQ(QKeySequence::mnemonic(Item("&R&&D/&AT&&T")->text()), QKeySequence(Qt::ALT | Qt::Key_A));
}

TEST_F(MainBookmarksTest, MenuShowsTheFileAfterItsFixedItems)
{
    Make("0");
    const QList<QAction *> actions = form->Controls().mnuBookMark->actions();
    ASSERT_GE(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("ブックマークに追加(&A)"));
    EXPECT_EQ(actions[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    EXPECT_EQ(actions[1], form->Controls().mnuBMEdit);
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(DescribeMenu(actions, 3), "&Mail|http://m/, &F>[&B|http://b/, &G>[&C|http://c/]], &E|, "
                                        "&Was|フォルダ, &Blank|, &D|http://d/");
    // The name's first letter is the access key.
    EXPECT_EQ(QKeySequence::mnemonic(Item("&Mail")->text()), QKeySequence(Qt::ALT | Qt::Key_M));
    EXPECT_FALSE(Item("&F")->icon().isNull());
    EXPECT_FALSE(Item("&F/&G/&C")->icon().isNull());
    EXPECT_EQ(Item("&E")->menu(), nullptr) << "an empty folder has no sub-menu";

    // Rebuilding replaces the generated items, never the fixed ones.
    form->BuildBookmarkMenu();
    form->BuildBookmarkMenu();
    EXPECT_EQ(form->Controls().mnuBookMark->actions().size(), actions.size());
    EXPECT_EQ(form->Controls().mnuBookMark->actions()[1], form->Controls().mnuBMEdit);
}

TEST_F(MainBookmarksTest, SideBarShowsTheTreeWithFolderMarkers)
{
    Make("0");
    EXPECT_EQ(form->Controls().TreeView1->topLevelItemCount(), 6);
    EXPECT_EQ(Node("F")->data(0, Qt::UserRole).toString(), "フォルダ");
    EXPECT_EQ(Node("G")->parent(), Node("F"));
    EXPECT_EQ(Node("C")->data(0, Qt::UserRole).toString(), "http://c/");
    EXPECT_EQ(Node("E")->childCount(), 0);
    EXPECT_FALSE(Node("B")->icon(0).isNull());
    EXPECT_FALSE(Node("B")->flags() & Qt::ItemIsEditable);
}

TEST_F(MainBookmarksTest, MenuOpensInANewWindowWhenNoneIsOpenOrTheSettingSaysSo)
{
    Make("0");
    Item("&F/&G/&C")->trigger();
    EXPECT_EQ(form->ChildCount(), 1) << "no window open: a new one whatever the setting";
    Item("&Mail")->trigger();
    EXPECT_EQ(form->ChildCount(), 1) << "setting 0: the active window";
    EXPECT_EQ(form->Controls().txtAddress->text(), "http://m/");
    EXPECT_EQ(Navigations(), (QStringList{"0:http://c/", "0:http://m/"}));

    // Only the lowest 8 bits count: 257 means new windows, 2 does not.
    h->folder.Write("config.ini", Config("257"));
    Item("&D")->trigger();
    EXPECT_EQ(form->ChildCount(), 2);
    h->folder.Write("config.ini", Config("2"));
    Item("&F/&B")->trigger();
    EXPECT_EQ(form->ChildCount(), 2);
    // The new window did not take the focus, so B went to the first one.
    EXPECT_EQ(Navigations(), (QStringList{"0:http://c/", "0:http://m/", "0:http://b/", "1:http://d/"}));
}

TEST_F(MainBookmarksTest, MenuItemsWithoutAddressOpenNothing)
{
    Make("1");
    form->Controls().txtAddress->setText("kept");
    Item("&E")->trigger();     // empty folder
    Item("&Blank")->trigger(); // bookmark without address
    EXPECT_EQ(form->ChildCount(), 0);
    EXPECT_EQ(form->Controls().txtAddress->text(), "kept");

    // The menu takes the folder marker as an address.
    Item("&Was")->trigger();
    EXPECT_EQ(Navigations(), QStringList{"0:フォルダ"});
}

TEST_F(MainBookmarksTest, ArrowKeysInTheSideBarOpenEveryBookmarkPassedOver)
{
    Make("0");
    form->Controls().TreeView1->setFocus();
    form->Controls().TreeView1->setCurrentItem(Node("Mail")); // opens the first window
    for (int i = 0; i < 8; ++i) {
        Key(Qt::Key_Down); // F, B, G, C, E, Was, Blank, D
    }
    EXPECT_EQ(form->ChildCount(), 1);
    EXPECT_EQ(Navigations(), (QStringList{"0:http://m/", "0:http://b/", "0:http://c/", "0:", "0:http://d/"}))
        << "folders and the folder marker open nothing; an empty address is opened";
    EXPECT_EQ(form->Controls().txtAddress->text(), "http://d/");

    Key(Qt::Key_Down); // already the last node: no change, nothing opens
    form->Controls().TreeView1->setCurrentItem(Node("D"));
    EXPECT_EQ(Navigations().size(), 5);
}

TEST_F(MainBookmarksTest, RebuildingOrTabbingIntoTheSideBarOpensNothing)
{
    Make("0");
    form->Controls().TreeView1->setCurrentItem(Node("D"));
    form->BuildBookmarkBar();
    EXPECT_EQ(Navigations(), QStringList{"0:http://d/"});
    EXPECT_EQ(form->Controls().TreeView1->topLevelItemCount(), 6) << "no duplicates";
    h->Child(0)->close();
    h->Pump();

    // A view that never had its current item set makes its first node
    // current when it gets the keyboard focus.
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(form->Controls().TreeView1, &in);
    QApplication::sendEvent(form->Controls().TreeView1, &out);
    form->mnuBMEditClick();
    QApplication::sendEvent(form->Controls().TreeView1, &in);
    EXPECT_EQ(form->ChildCount(), 0);
    EXPECT_EQ(form->Controls().TreeView1->currentItem(), nullptr);
}

TEST_F(MainBookmarksTest, EditorIsFilledFromThePageAndTheSideBarUnselected)
{
    Make("0");
    form->Controls().TreeView1->setCurrentItem(Node("D"));
    h->Child(0)->setWindowTitle("Page D");
    form->Controls().txtAddress->setText("http://typed/");
    form->Controls().mnuBMEdit->trigger();
    ASSERT_NE(frm_BMEdit, nullptr);
    EXPECT_TRUE(frm_BMEdit->isVisible());
    EXPECT_EQ(frm_BMEdit->txtURL->text(), "http://typed/");
    EXPECT_EQ(frm_BMEdit->txtName->text(), "Page D");
    EXPECT_EQ(form->Controls().TreeView1->currentItem(), nullptr);

    // So one click opens the same bookmark again.
    form->Controls().TreeView1->setCurrentItem(Node("D"));
    EXPECT_EQ(Navigations().size(), 2);

    // Asked again while open: the boxes are refilled, the tree keeps its
    // unsaved changes.
    frm_BMEdit->TreeView1->setCurrentItem(frm_BMEdit->TreeView1->topLevelItem(0));
    frm_BMEdit->btnDelClick();
    h->Child(0)->close();
    h->Pump();
    form->Controls().txtAddress->setText("http://other/");
    // The menu's "ブックマークに追加(&A)" does what the tab menu's item does.
    form->Controls().mnuBookMark->actions().first()->trigger();
    EXPECT_EQ(frm_BMEdit->txtURL->text(), "http://other/");
    EXPECT_EQ(frm_BMEdit->txtName->text(), "") << "no window open: no title";
    EXPECT_EQ(frm_BMEdit->TreeView1->topLevelItemCount(), 5);
}

TEST_F(MainBookmarksTest, EditorOkRebuildsMenuAndSideBarWithoutDuplicates)
{
    Make("0");
    // The application's editor, made before the menu asks for one.
    const auto editor = std::make_unique<Tfrm_BMEdit>(*form);
    frm_BMEdit = editor.get();
    form->mnuBMEditClick();
    frm_BMEdit->txtName->setText("New");
    frm_BMEdit->txtURL->setText("http://new/");
    frm_BMEdit->TreeView1->setCurrentItem(frm_BMEdit->TreeView1->topLevelItem(0));
    frm_BMEdit->btnAddClick();
    frm_BMEdit->btnOK->click();
    EXPECT_TRUE(h->ui.messages.isEmpty()) << h->ui.messages.join('\n').toStdString();
    EXPECT_FALSE(frm_BMEdit->isVisible());

    // The empty folder and the empty address went through the file too.
    EXPECT_EQ(DescribeMenu(form->Controls().mnuBookMark->actions(), 0),
              "ブックマークに追加(&A)|, ブックマークを編集(&E)|, |, &New|http://new/, &Mail|http://m/, "
              "&F>[&B|http://b/, &G>[&C|http://c/]], &E|フォルダ, &Was|フォルダ, &Blank|, &D|http://d/");
    EXPECT_EQ(form->Controls().TreeView1->topLevelItemCount(), 7);
    EXPECT_EQ(Node("E")->data(0, Qt::UserRole).toString(), "フォルダ");
    EXPECT_EQ(Navigations().size(), 0) << "rebuilding opened nothing";
}

// Bookmarks live in the data folder whatever the Gecko folder: a file an
// earlier version left there comes over once, with a message, and saves go
// to the data folder even after Gecko windows have opened.
TEST(MainBookmarks, TheFileStaysInTheDataFolderAndOneLeftInTheGeckoFolderComesOver)
{
    TempFolder gecko;
    gecko.Write("bookmark.xml", kFile);
    MainHarness h("[General]\r\nLastEngine=Gecko\r\n[Option_Main]\r\nMozilla=1\r\nMozPath=" + gecko.Path() +
                  "\r\n");
    h.Pump();
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QString::fromStdString(gecko.File("bookmark.xml"))));
    EXPECT_TRUE(gecko.Names().empty());
    QStringList captions;
    for (QAction *item : h.form->Controls().mnuBookMark->actions())
        captions << item->text();
    EXPECT_TRUE(captions.contains(QStringLiteral("&Mail"))) << captions.join('|').toStdString();

    h.form->FileNew1Execute();
    frm_BMEdit = new Tfrm_BMEdit(*h.form);
    frm_BMEdit->show();
    frm_BMEdit->txtName->setText(QStringLiteral("新しい"));
    frm_BMEdit->btnAddClick();
    frm_BMEdit->btnOK->click();
    EXPECT_TRUE(h.ui.messages.size() == 1) << h.ui.LastMessageText().toStdString();
    EXPECT_TRUE(gecko.Names().empty());
    EXPECT_NE(h.folder.Read("BookMark.xml").find("<name>"), std::string::npos);
    delete frm_BMEdit;
    frm_BMEdit = nullptr;
}

} // namespace
