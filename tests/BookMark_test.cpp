#include "bookmarks/BookMark.h"

#include "core/ProgramFolder.h"
#include "support/FakeUi.h"
#include "support/QtApp.h"
#include "support/TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

// Readable trees in failure messages.
void PrintTo(const BookmarkNode &node, std::ostream *out)
{
    *out << node.caption << (node.folder ? "/" : "=" + node.url);
    if (!node.children.empty()) {
        *out << "{";
        for (const BookmarkNode &child : node.children) {
            PrintTo(child, out);
            *out << " ";
        }
        *out << "}";
    }
}

namespace {

// Records the rebuilds the editor asks for, with what the bookmark file held
// at that moment.
class FakeMain : public BookmarkEditorHost {
public:
    std::vector<std::string> calls;
    void BuildBookmarkMenu() override
    {
        calls.push_back("menu:" + std::to_string(ReadBookmarkFile()->tree.size()));
    }
    void BuildBookmarkBar() override
    {
        calls.push_back("bar:" + std::to_string(ReadBookmarkFile()->tree.size()));
    }
};

// A hand-made file, so that it can hold a folder without entries.
const char kStartFile[] = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>"
                          "<file><name>A</name><url>U1</url></file>"
                          "<directory><name>F</name><file><name>B</name><url>U2</url></file>"
                          "<directory><name>G</name><file><name>C</name><url>U3</url></file></directory>"
                          "</directory>"
                          "<directory><name>E</name></directory>"
                          "<file><name>D</name><url>U4</url></file></bookmark>";

// "A=U1 F/{B=U2}": a bookmark as caption=URL, a folder (folder picture) as
// caption/{entries}.
QString Describe(QTreeWidgetItem *item)
{
    if (Tfrm_BMEdit::NodePicture(item) != Tfrm_BMEdit::kFolderPicture) {
        return item->text(0) + "=" + Tfrm_BMEdit::NodeURL(item);
    }
    QStringList parts;
    for (int i = 0; i < item->childCount(); ++i) {
        parts << Describe(item->child(i));
    }
    return item->text(0) + "/{" + parts.join(' ') + "}";
}

QString Describe(QTreeWidget *tree)
{
    QStringList parts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        parts << Describe(tree->topLevelItem(i));
    }
    return parts.join(' ');
}

QTreeWidgetItem *Find(QTreeWidget *tree, const QString &caption)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

class BookMarkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureQApp();
        oldCwd_ = getcwd(nullptr, 0);
        ASSERT_EQ(chdir(folder.Path().c_str()), 0);
        SetProgramFolderOverride(folder.Path() + "/"); // the data folder, where the file lives
    }
    void TearDown() override
    {
        SetProgramFolderOverride("");
        editor.reset();
        ASSERT_EQ(chdir(oldCwd_), 0);
        free(oldCwd_);
    }
    void Open(const std::string &file = kStartFile)
    {
        if (!file.empty()) {
            folder.Write("bookmark.xml", file);
        }
        editor = std::make_unique<Tfrm_BMEdit>(main);
        tree = editor->TreeView1;
    }
    void Select(const QString &caption)
    {
        QTreeWidgetItem *item = Find(tree, caption);
        ASSERT_NE(item, nullptr) << caption.toStdString();
        tree->setCurrentItem(item);
    }
    QString Text() { return Describe(tree); }

    test::TempFolder folder;
    test::FakeUi ui;
    FakeMain main;
    std::unique_ptr<Tfrm_BMEdit> editor;
    QTreeWidget *tree = nullptr;
    char *oldCwd_ = nullptr;
};

TEST_F(BookMarkTest, AddGoesBeforeABookmarkAndFirstIntoAFolder)
{
    Open();
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{} D=U4");
    EXPECT_EQ(editor->txtName->text() + editor->txtURL->text(), "txtNametxtURL");
    EXPECT_FALSE(editor->isVisible());

    // With nothing selected yet, the node at the top of the view is taken
    // and kept as the current node.
    editor->btnAddClick();
    EXPECT_EQ(Text(), "txtName=txtURL A=U1 F/{B=U2 G/{C=U3}} E/{} D=U4");
    EXPECT_EQ(editor->CurrentNode(), Find(tree, "A"));
    delete tree->topLevelItem(0);

    editor->txtName->setText("N1");
    editor->txtURL->setText("u1");
    Select("B");
    editor->btnAddClick();
    EXPECT_EQ(Text(), "A=U1 F/{N1=u1 B=U2 G/{C=U3}} E/{} D=U4");
    EXPECT_EQ(editor->CurrentNode(), Find(tree, "B"));

    // An empty folder gets the new bookmark as its only entry; the stand-in
    // node used for the insertion does not stay.
    editor->txtName->setText("N2");
    editor->txtURL->setText("u2");
    Select("E");
    editor->btnAddClick();
    EXPECT_EQ(Text(), "A=U1 F/{N1=u1 B=U2 G/{C=U3}} E/{N2=u2} D=U4");
    EXPECT_EQ(Find(tree, "123"), nullptr);

    editor->txtName->setText("N3");
    editor->txtURL->setText("u3");
    Select("G");
    editor->btnAddClick();
    EXPECT_EQ(Text(), "A=U1 F/{N1=u1 B=U2 G/{N3=u3 C=U3}} E/{N2=u2} D=U4");

    // Nothing is validated.
    editor->txtName->clear();
    editor->txtURL->clear();
    Select("A");
    editor->btnAddClick();
    EXPECT_EQ(Text(), "= A=U1 F/{N1=u1 B=U2 G/{N3=u3 C=U3}} E/{N2=u2} D=U4");
}

TEST_F(BookMarkTest, EmptyTreeTakesFirstEntriesAndIgnoresTheRest)
{
    Open(""); // no bookmark file yet
    EXPECT_EQ(Text(), "");
    editor->btnDelClick();
    editor->btnEditClick();
    editor->btnSubMDClick();
    editor->popReNameClick();
    editor->popMoveUpClick();
    editor->popMoveDownClick();
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(ui.inputPrompts.isEmpty());

    editor->txtName->setText("first");
    editor->txtURL->setText("http://first/");
    editor->btnAddClick();
    EXPECT_EQ(Text(), "first=http://first/");
}

TEST_F(BookMarkTest, FolderCommandsAndWhatEmptyFoldersBecome)
{
    Open();
    editor->show();
    editor->txtURL->setText("http://x/");
    Select("D");
    editor->btnMDClick();
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{} 新しいフォルダ/{} D=U4");
    QTreeWidgetItem *made = tree->topLevelItem(3);
    EXPECT_EQ(Tfrm_BMEdit::NodeURL(made), "http://x/");
    EXPECT_NE(tree->itemWidget(made, 0), nullptr) << "caption opened for editing";
    EXPECT_EQ(editor->CurrentNode(), made) << "the new folder is selected";

    Select("D");
    editor->btnSubMDClick();
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{} 新しいフォルダ/{} D=U4") << "nothing under a bookmark";

    Select("E");
    editor->popMakeSubClick();
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{新しいフォルダ/{}} 新しいフォルダ/{} D=U4");
    QTreeWidgetItem *sub = Find(tree, "E")->child(0);
    EXPECT_EQ(Tfrm_BMEdit::NodeURL(sub), "フォルダ");
    EXPECT_NE(tree->itemWidget(sub, 0), nullptr);
    EXPECT_EQ(tree->itemWidget(made, 0), nullptr) << "one caption edited at a time";
    EXPECT_EQ(Find(tree, "123"), nullptr);

    Select("F");
    editor->btnSubMDClick();
    EXPECT_EQ(Describe(Find(tree, "F")), "F/{新しいフォルダ/{} B=U2 G/{C=U3}}");

    // Written and read again, a folder without entries is a bookmark with
    // the URL it was given.
    editor->btnOKClick();
    Open(std::string());
    EXPECT_EQ(Text(), "A=U1 F/{新しいフォルダ=フォルダ B=U2 G/{C=U3}} E/{新しいフォルダ=フォルダ} "
                      "新しいフォルダ=http://x/ D=U4");
}

TEST_F(BookMarkTest, DeleteTakesAFolderWithEverythingInIt)
{
    Open();
    editor->btnDelClick(); // nothing current yet: nothing happens
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{} D=U4");

    Select("F");
    editor->popDel->trigger();
    EXPECT_EQ(Text(), "A=U1 E/{} D=U4");
    EXPECT_EQ(Find(tree, "C"), nullptr);
    EXPECT_EQ(editor->CurrentNode(), tree->currentItem());
    ASSERT_NE(editor->CurrentNode(), nullptr);
    const QString next = editor->CurrentNode()->text(0);
    editor->btnDelClick();
    EXPECT_EQ(Find(tree, next), nullptr);
    EXPECT_EQ(tree->topLevelItemCount(), 2);
}

TEST_F(BookMarkTest, MovesKeepChildrenAndBeepAtTheEnds)
{
    Open();
    editor->popMoveUpClick(); // no selection: nothing at all
    EXPECT_EQ(ui.beeps, 0);

    Select("A");
    editor->popMoveUpClick();
    EXPECT_EQ(ui.beeps, 1);
    editor->popMoveDownClick();
    EXPECT_EQ(Text(), "F/{B=U2 G/{C=U3}} A=U1 E/{} D=U4");
    EXPECT_EQ(tree->currentItem(), Find(tree, "A"));

    Find(tree, "F")->setExpanded(true);
    Find(tree, "G")->setExpanded(true);
    Select("A");
    editor->popMoveUpClick();
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{} D=U4");
    EXPECT_TRUE(Find(tree, "F")->isExpanded());
    EXPECT_TRUE(Find(tree, "G")->isExpanded());

    Select("G");
    editor->popMoveUpClick();
    EXPECT_EQ(Text(), "A=U1 F/{G/{C=U3} B=U2} E/{} D=U4");

    Select("C"); // the only entry of its folder
    editor->popMoveUpClick();
    editor->popMoveDownClick();
    Select("D");
    editor->popMoveDownClick();
    EXPECT_EQ(ui.beeps, 4);
    EXPECT_EQ(Text(), "A=U1 F/{G/{C=U3} B=U2} E/{} D=U4");
}

TEST_F(BookMarkTest, EditAsksForABookmarksAddressOnly)
{
    Open();
    Select("B");
    ui.inputAnswers.push_back(QString("http://new/"));
    editor->btnEditClick();
    EXPECT_EQ(ui.inputPrompts.join('/'), "編集|B|U2");
    EXPECT_EQ(Tfrm_BMEdit::NodeURL(Find(tree, "B")), "http://new/");

    ui.inputAnswers.push_back(std::nullopt); // Cancel keeps the address
    editor->popEditClick();
    EXPECT_EQ(Tfrm_BMEdit::NodeURL(Find(tree, "B")), "http://new/");

    Select("F");
    editor->btnEditClick();
    EXPECT_EQ(ui.inputPrompts.size(), 2);
}

TEST_F(BookMarkTest, RightClickSelectsAndRenameEditsInPlace)
{
    Open();
    editor->show();
    QApplication::processEvents();
    QTreeWidgetItem *d = Find(tree, "D");
    editor->PopupMenu1Popup(tree->visualItemRect(d).center());
    EXPECT_EQ(tree->currentItem(), d);
    EXPECT_EQ(editor->CurrentNode(), d);

    editor->popReName->trigger();
    auto *field = qobject_cast<QLineEdit *>(tree->itemWidget(d, 0));
    ASSERT_NE(field, nullptr);
    field->setText("D & <renamed>");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    QApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(d->text(0), "D & <renamed>");
    EXPECT_EQ(Tfrm_BMEdit::NodeURL(d), "U4");
}

TEST_F(BookMarkTest, OkWritesThenRebuildsMenuAndBarThenHides)
{
    Open();
    editor->show();
    editor->txtName->setText("N");
    editor->txtURL->setText("u");
    Select("A");
    editor->btnAddClick();
    editor->btnOK->click();
    EXPECT_TRUE(ui.messages.isEmpty());
    // Both rebuilds already see the new file.
    EXPECT_EQ(main.calls, (std::vector<std::string>{"menu:5", "bar:5"}));
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(SerializeBookmarks(ReadBookmarkFile()->tree), SerializeBookmarks(editor->Tree()));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"bookmark.xml"});
}

TEST_F(BookMarkTest, CancelAndTheCloseBoxDiscardAndTheNextShowingReadsTheFile)
{
    Open();
    const std::string before = folder.Read("bookmark.xml");
    editor->show();
    Select("F");
    editor->btnDelClick();
    editor->btnCancel->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(folder.Read("bookmark.xml"), before);
    EXPECT_TRUE(main.calls.empty());

    editor->show();
    EXPECT_EQ(Text(), "A=U1 F/{B=U2 G/{C=U3}} E/{} D=U4");
    Select("A");
    editor->btnDelClick();
    editor->close();
    // The file changed while the editor was away: the next showing has it.
    folder.Write("bookmark.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<bookmark>"
                                 "<file><name>Z</name><url>U9</url></file></bookmark>");
    editor->show();
    EXPECT_EQ(Text(), "Z=U9");
    editor->btnOK->click();
    EXPECT_EQ(ReadBookmarkFile()->tree, (BookmarkTree{{"Z", "U9", false, {}}}));
}

// Entries move by drag and drop inside the tree; only a folder takes an
// entry dropped on it, so a bookmark never gets children.
TEST_F(BookMarkTest, EveryEntryDragsAndOnlyFoldersTakeDrops)
{
    Open();
    EXPECT_EQ(tree->dragDropMode(), QAbstractItemView::InternalMove);
    editor->txtName->setText("N");
    Select("A");
    editor->btnAddClick();
    editor->btnMDClick();
    for (const char *caption : {"A", "B", "N", "F", "G", "E", "新しいフォルダ"}) {
        QTreeWidgetItem *node = Find(tree, caption);
        ASSERT_NE(node, nullptr) << caption;
        EXPECT_TRUE(node->flags() & Qt::ItemIsDragEnabled) << caption;
        EXPECT_EQ(bool(node->flags() & Qt::ItemIsDropEnabled),
                  Tfrm_BMEdit::NodePicture(node) == Tfrm_BMEdit::kFolderPicture)
            << caption;
    }
}

TEST_F(BookMarkTest, FailedOkShowsTheErrorAndStaysOpen)
{
    Open();
    const std::string before = folder.Read("bookmark.xml");
    editor->show();
    while (tree->topLevelItemCount() > 0) {
        tree->setCurrentItem(tree->topLevelItem(0));
        editor->btnDelClick();
    }
    editor->btnOK->click();
    EXPECT_EQ(ui.messages, QStringList{"Orvex|不正なインデックス."});
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(main.calls.empty());
    EXPECT_EQ(folder.Read("bookmark.xml"), before);

    editor->txtName->setText("N");
    editor->btnAddClick();
    chmod(folder.File("bookmark.xml").c_str(), 0444);
    editor->btnOK->click();
    EXPECT_EQ(ui.LastMessageText(),
              QString::fromStdString("ファイル " + folder.File("bookmark.xml") + " を作成できません."));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(folder.Read("bookmark.xml"), before);
}

} // namespace
} // namespace orvex
