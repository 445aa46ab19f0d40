// The bar layout of the main window: band order, row breaks and widths, view
// toggles and the side bar, saved in section "Bar" and restored at the next
// start; and the layout rules run at every resize.
#include "browser/untTab.h"
#include "core/Settings.h"
#include "shell/BarLayout.h"
#include "shell/Main.h"
#include "support/MainHarness.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

const std::string kBaseConfig = "[General]\r\nLastEngine=IE\r\n";

// "Band0ID=1" style: the value of one key of "Bar" as the file holds it.
std::string BarValue(const MainHarness &h, const std::string &key)
{
    return SettingsFile(h.ConfigPath()).ReadString("Bar", key, "<none>");
}

// The bands as "name@row" in position order, rows counted from 0, e.g.
// "ToolBar3@0 ToolBar2@0".
QString DescribeBands(TMainForm &form)
{
    QToolBar *bars[] = {form.Controls().ToolBar2, form.Controls().ToolBar3};
    std::sort(std::begin(bars), std::end(bars),
              [](QToolBar *a, QToolBar *b) { return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x(); });
    const int firstRow = bars[0]->y();
    QStringList out;
    for (QToolBar *bar : bars)
        out << QStringLiteral("%1@%2").arg(bar->objectName()).arg(bar->y() == firstRow ? 0 : 1);
    return out.join(' ');
}

// Closing writes the layout; the next run starts from the file it left.
std::string CloseAndTakeConfig(MainHarness &h)
{
    EXPECT_TRUE(h.form->FormClose());
    return h.folder.Read("config.ini");
}

TEST(MainLayout, NoBarSectionGivesTheDefaultLayout)
{
    MainHarness h(kBaseConfig);
    h.Start();
    EXPECT_EQ(DescribeBands(*h.form), QStringLiteral("ToolBar2@0 ToolBar3@1"));
    EXPECT_TRUE(h.form->toolBarBreak(h.form->Controls().ToolBar3));
    EXPECT_EQ(h.form->Controls().ToolBar2->PreferredWidth(), 200);
    EXPECT_EQ(h.form->Controls().ToolBar3->PreferredWidth(), 200);
    for (QAction *item :
         {h.form->Controls().mnuShow_default, h.form->Controls().mnuShow_Address,
          h.form->Controls().mnuShow_Status, h.form->Controls().mnuShow_Tab, h.form->Controls().mnuShow_J})
        EXPECT_TRUE(item->isChecked()) << item->text().toStdString();
    for (QWidget *bar : {static_cast<QWidget *>(h.form->Controls().ToolBar2),
                         static_cast<QWidget *>(h.form->Controls().ToolBar3), h.form->Controls().ToolBar1,
                         h.form->Controls().TabBar, h.form->Controls().JBar})
        EXPECT_TRUE(bar->isVisible()) << bar->objectName().toStdString();
    EXPECT_EQ(h.form->Bars().JBarWidth(), 153);
    EXPECT_EQ(h.form->Controls().JBar->width(), 153);
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 0);

    const std::string config = CloseAndTakeConfig(h);
    // Written in this order, the flags as "1"/"0".
    const std::string expected =
        "[Bar]\r\nBand0ID=0\r\nBand0Width=" + BarValue(h, "Band0Width") +
        "\r\nBand0Break=1\r\nBand1ID=1\r\nBand1Width=" + BarValue(h, "Band1Width") +
        "\r\nBand1Break=1\r\nToolBar=1\r\nAddressBar=1\r\nStatusBar=1\r\nTabBar=1\r\nJBar=1\r\n"
        "JBarSize=153\r\nJBarMax=0\r\n";
    EXPECT_NE(config.find(expected), std::string::npos) << config;
    EXPECT_EQ(BarValue(h, "Band0Width"), std::to_string(h.form->Controls().ToolBar2->width()));
}

TEST(MainLayout, BandsSwappedOntoOneRowSurviveARestart)
{
    std::string config;
    {
        MainHarness h(kBaseConfig);
        h.Start();
        // What dragging the address bar in front of the standard bar does.
        h.form->insertToolBar(h.form->Controls().ToolBar2, h.form->Controls().ToolBar3);
        h.Pump();
        ASSERT_EQ(DescribeBands(*h.form), QStringLiteral("ToolBar3@0 ToolBar2@0"));
        h.form->CoolBar1MouseUp();
        config = CloseAndTakeConfig(h);
        EXPECT_EQ(BarValue(h, "Band0ID"), "1");
        EXPECT_EQ(BarValue(h, "Band1ID"), "0");
        EXPECT_EQ(BarValue(h, "Band0Break"), "1");
        EXPECT_EQ(BarValue(h, "Band1Break"), "0");
        EXPECT_EQ(BarValue(h, "Band0Width"), std::to_string(h.form->Controls().ToolBar3->width()));
    }
    MainHarness h(config);
    h.Start();
    EXPECT_EQ(DescribeBands(*h.form), QStringLiteral("ToolBar3@0 ToolBar2@0"));
    EXPECT_FALSE(h.form->toolBarBreak(h.form->Controls().ToolBar2));
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST(MainLayout, StoredWidthsBecomeTheBarsWidthsWithinReason)
{
    MainHarness h(kBaseConfig + "[Bar]\r\nBand0ID=1\r\nBand0Width=320\r\nBand1ID=0\r\n"
                                "Band1Width=5000\r\nBand1Break=0\r\n");
    h.Start();
    EXPECT_EQ(h.form->Controls().ToolBar3->width(), 320);
    // A huge stored width does not force a huge window.
    EXPECT_LE(h.form->Controls().ToolBar2->minimumWidth(), 400);
    EXPECT_LE(h.form->minimumSizeHint().width(), 1000);
}

TEST(MainLayout, StoredWidthsNeverPushAButtonOutOfSight)
{
    // Either band first on one row, the first with a stored width of 400, in
    // a 500 px window: both keep every control in view.
    for (const char *first : {"1", "0"}) {
        MainHarness h(kBaseConfig + "[Bar]\r\nBand0ID=" + first + "\r\nBand0Width=400\r\nBand1ID=" +
                      (first[0] == '1' ? "0" : "1") + "\r\nBand1Break=0\r\n");
        h.Start();
        h.form->resize(500, 400);
        h.Pump();
        EXPECT_EQ(h.form->width(), 500) << first; // no stored width holds the window wider
        ASSERT_EQ(h.form->Controls().ToolBar2->y(), h.form->Controls().ToolBar3->y()) << first;
        QToolBar *nav = h.form->Controls().ToolBar2;
        for (QAction *action : {h.form->Indicators().StopCtrl, h.form->Indicators().ReLoadCtrl}) {
            QWidget *button = nav->widgetForAction(action);
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(button->isVisible()) << first << action->text().toStdString();
            EXPECT_LE(button->geometry().right(), nav->width()) << first;
        }
        EXPECT_TRUE(h.form->Controls().btnMove->isVisible()) << first;
        EXPECT_LE(h.form->Controls().ToolBar3->geometry().right(), h.form->width()) << first;
    }
}

// Presses a band at `from` (by default on its handle), moves along its row
// and lets go at `to`.
void DragBand(TBand *bar, const QPoint &to, QPoint from = QPoint())
{
    const QPoint handle = from.isNull() ? bar->HandleRect().center() : from;
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, handle);
    const QPoint local = bar->mapFromGlobal(to);
    QTest::mouseMove(bar, QPoint((handle.x() + local.x()) / 2, handle.y()));
    QTest::mouseMove(bar, local);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, local);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

TEST(MainLayout, BandsOnOneRowChangePlacesWhenDraggedSideways)
{
    MainHarness h(kBaseConfig + "[Bar]\r\nBand1Break=0\r\n");
    h.Start();
    TMainForm &form = *h.form;
    ASSERT_EQ(DescribeBands(form), QStringLiteral("ToolBar2@0 ToolBar3@0"));
    // Let go short of the other band's middle, or pressed off the handle: nothing changes.
    DragBand(form.Controls().ToolBar2, form.Controls().ToolBar3->mapToGlobal(QPoint(10, 5)));
    EXPECT_EQ(DescribeBands(form), QStringLiteral("ToolBar2@0 ToolBar3@0"));
    DragBand(form.Controls().ToolBar2,
             form.Controls().ToolBar3->mapToGlobal(QPoint(form.Controls().ToolBar3->width() - 5, 5)),
             QPoint(form.Controls().ToolBar2->width() - 3, 5));
    EXPECT_EQ(DescribeBands(form), QStringLiteral("ToolBar2@0 ToolBar3@0"));
    // Past it: the two change places, and back again.
    DragBand(form.Controls().ToolBar2,
             form.Controls().ToolBar3->mapToGlobal(QPoint(form.Controls().ToolBar3->width() - 5, 5)));
    EXPECT_EQ(DescribeBands(form), QStringLiteral("ToolBar3@0 ToolBar2@0"));
    DragBand(form.Controls().ToolBar2, form.Controls().ToolBar3->mapToGlobal(QPoint(5, 5)));
    EXPECT_EQ(DescribeBands(form), QStringLiteral("ToolBar2@0 ToolBar3@0"));
    DragBand(form.Controls().ToolBar3, form.Controls().ToolBar2->mapToGlobal(QPoint(5, 5)));
    EXPECT_EQ(DescribeBands(form), QStringLiteral("ToolBar3@0 ToolBar2@0"));
    EXPECT_TRUE(form.Controls().ToolBar2->isVisible() && form.Controls().ToolBar3->isVisible());
    EXPECT_TRUE(form.FormClose());
    EXPECT_EQ(BarValue(h, "Band0ID"), "1");
    EXPECT_EQ(BarValue(h, "Band1Break"), "0");
}

TEST(MainLayout, BandIdThatNamesNoBandFallsBackToTheDefault)
{
    for (const char *bar : {"Band0ID=7\r\nBand1ID=0\r\nBand1Break=0\r\n", "Band0ID=1\r\nBand1ID=1\r\n",
                            "Band0ID=junk\r\nBand1ID=-1\r\n"}) {
        MainHarness h(kBaseConfig + "[Bar]\r\n" + bar);
        h.Start();
        EXPECT_EQ(DescribeBands(*h.form), QStringLiteral("ToolBar2@0 ToolBar3@1")) << bar;
        EXPECT_TRUE(h.ui.messages.isEmpty()) << bar;
    }
}

TEST(MainLayout, HiddenAddressBarSurvivesARestart)
{
    std::string config;
    {
        MainHarness h(kBaseConfig + "[Option_Window]\r\nAddressBar=1\r\n");
        h.Start();
        h.form->Controls().mnuShow_Address->trigger();
        EXPECT_FALSE(h.form->Controls().mnuShow_Address->isChecked());
        EXPECT_FALSE(h.form->Controls().ToolBar3->isVisible());
        config = CloseAndTakeConfig(h);
        EXPECT_EQ(BarValue(h, "AddressBar"), "0");
        EXPECT_EQ(BarValue(h, "ToolBar"), "1");
        // The other "AddressBar" key is a different setting.
        EXPECT_EQ(SettingsFile(h.ConfigPath()).ReadString("Option_Window", "AddressBar", ""), "1");
        // The hidden band keeps its place and width.
        EXPECT_EQ(BarValue(h, "Band1ID"), "1");
        EXPECT_NE(BarValue(h, "Band1Width"), "0");
    }
    MainHarness h(config);
    h.Start();
    EXPECT_FALSE(h.form->Controls().mnuShow_Address->isChecked());
    EXPECT_TRUE(h.form->Controls().ToolBar3->isHidden());
    EXPECT_TRUE(h.form->Controls().ToolBar2->isVisible());
    h.form->Controls().mnuShow_Address->trigger();
    EXPECT_TRUE(h.form->Controls().mnuShow_Address->isChecked());
    EXPECT_TRUE(h.form->Controls().ToolBar3->isVisible());
}

TEST(MainLayout, EachViewItemTogglesItsOwnBar)
{
    MainHarness h(kBaseConfig);
    h.Start();
    const std::pair<QAction *, QWidget *> views[] = {
        {h.form->Controls().mnuShow_default, h.form->Controls().ToolBar2},
        {h.form->Controls().mnuShow_Address, h.form->Controls().ToolBar3},
        {h.form->Controls().mnuShow_Status, h.form->Controls().ToolBar1},
        {h.form->Controls().mnuShow_Tab, h.form->Controls().TabBar},
        {h.form->Controls().mnuShow_J, h.form->Controls().JBar}};
    for (const auto &[item, bar] : views) {
        h.form->Bars().ToggleBar(item, bar); // called directly: flips once
        EXPECT_FALSE(item->isChecked());
        EXPECT_TRUE(bar->isHidden());
        item->trigger(); // through the menu: flips once too
        EXPECT_TRUE(item->isChecked());
        EXPECT_FALSE(bar->isHidden());
    }
}

TEST(MainLayout, CollapsedSideBarSurvivesARestart)
{
    std::string config;
    {
        MainHarness h(kBaseConfig);
        h.Start();
        h.form->Controls().btnBar->click();
        EXPECT_EQ(h.form->Bars().JBarWidth(), 11);
        EXPECT_EQ(h.form->Bars().BtnBarTag(), 153);
        config = CloseAndTakeConfig(h);
        EXPECT_EQ(BarValue(h, "JBarSize"), "11");
        EXPECT_EQ(BarValue(h, "JBarMax"), "153");
    }
    MainHarness h(config);
    h.Start();
    EXPECT_EQ(h.form->Controls().JBar->width(), 11);
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 153);
    h.form->Controls().btnBar->click();
    EXPECT_EQ(h.form->Bars().JBarWidth(), 153);
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 0);
}

TEST(MainLayout, ReleasingASideBarDragSetsItsWidthButNotTheRememberedOne)
{
    MainHarness h(kBaseConfig);
    h.Start();
    h.form->JBarMouseUp(4);
    EXPECT_EQ(h.form->Bars().JBarWidth(), 11);
    h.form->JBarMouseUp(12);
    EXPECT_EQ(h.form->Bars().JBarWidth(), 12);
    h.form->JBarMouseUp(250);
    EXPECT_EQ(h.form->Bars().JBarWidth(), 250);
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 0);

    // Collapsed, then dragged: the button still restores the width from
    // before the collapse.
    h.form->btnBarClick();
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 250);
    h.form->JBarMouseUp(180);
    EXPECT_EQ(h.form->Bars().JBarWidth(), 180);
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 250);
    h.form->btnBarClick();
    EXPECT_EQ(h.form->Bars().JBarWidth(), 250);
    EXPECT_EQ(h.form->Bars().BtnBarTag(), 0);
}

TEST(MainLayout, HandEditedSideBarWidthsStaySensible)
{
    MainHarness h(kBaseConfig + "[Bar]\r\nJBarSize=-40\r\n");
    EXPECT_EQ(h.form->Bars().JBarWidth(), 11);
    MainHarness wide(kBaseConfig + "[Bar]\r\nJBarSize=100000\r\n");
    EXPECT_LE(wide.form->Bars().JBarWidth(), 2000);
}

TEST(MainLayout, StatusStripSplitsAbove260AndKeepsWidthsBelow)
{
    MainHarness h(kBaseConfig);
    h.Start();
    QWidget *strip = h.form->Controls().ToolBar1;
    const int full = strip->width();
    ASSERT_GT(full, 260);
    EXPECT_EQ(h.form->Controls().ProgressBar1->geometry(), QRect(full - 130, 0, 130, strip->height()));
    EXPECT_EQ(h.form->Controls().StatusBar1->width(), full - 130);

    strip->resize(261, strip->height());
    h.form->Bars().LayoutRules();
    EXPECT_EQ(h.form->Controls().StatusBar1->width(), 131);
    EXPECT_EQ(h.form->Controls().ProgressBar1->x(), 131);

    for (int narrow : {260, 200}) {
        strip->resize(narrow, strip->height());
        h.form->Bars().LayoutRules();
        EXPECT_EQ(h.form->Controls().StatusBar1->width(), 131) << narrow;
        EXPECT_EQ(h.form->Controls().ProgressBar1->width(), 130) << narrow;
    }

    // A long status text does not hold the window wide: the strip asks for
    // no more than the progress bar's room.
    h.form->Controls().StatusBar1->setText(QString(400, 'x'));
    EXPECT_LT(strip->minimumSizeHint().width(), 260);
}

TEST(MainLayout, AddressBoxFillsTheAddressBarBetweenLabelAndButton)
{
    MainHarness h(kBaseConfig);
    h.Start();
    for (int width : {900, 640}) {
        h.form->resize(width, 600);
        h.Pump();
        QToolBar *bar = h.form->Controls().ToolBar3;
        const QRect label = h.form->Controls().Label1->geometry();
        const QRect box = h.form->Controls().txtAddress->geometry();
        const QRect button = h.form->Controls().btnMove->geometry();
        EXPECT_EQ(button.width(), 41);
        // 44 px as designed, wider where the font needs it to show the whole caption.
        EXPECT_GE(label.width(), 44);
        EXPECT_GE(label.width(), h.form->Controls().Label1->fontMetrics().horizontalAdvance(
                                     h.form->Controls().Label1->text()));
        EXPECT_LE(bar->width() - button.right(), 12) << width; // at the bar's right end
        EXPECT_LE(button.left() - box.right(), 8) << width;
        EXPECT_LE(box.left() - label.right(), 8) << width;
        EXPECT_EQ(h.form->Controls().TabControl1->size(), h.form->Controls().TabBar->size());
    }
}

} // namespace
