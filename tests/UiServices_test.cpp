#include "platform/UiServices.h"

#include "core/Errors.h"
#include "support/FakeUi.h"
#include "support/QtApp.h"

#include <QAbstractButton>
#include <QAction>
#include <QPrintDialog>
#include <QPrinter>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace orvex {
namespace {

// A handler connected through Guard gets the signal's arguments it asks
// for; what it throws ends in the error box and goes no further.
TEST(Guard, HandlersGetTheirArgumentsAndTheirErrorsEndInTheErrorBox)
{
    test::EnsureQApp();
    test::FakeUi ui;
    QAction action(nullptr);
    int plain = 0;
    QObject::connect(&action, &QAction::triggered, &action, Guard([&] { ++plain; }));
    QObject::connect(&action, &QAction::triggered, &action,
                     Guard([](bool) { throw Error("書き込めません"); }));
    action.trigger();
    EXPECT_EQ(plain, 1);
    EXPECT_EQ(ui.messages, QStringList{"Orvex|書き込めません."});
    EXPECT_EQ(ui.messageIcons, std::vector<MessageIcon>{MessageIcon::Stop});

    QTreeWidget tree;
    auto *first = new QTreeWidgetItem(&tree, {QStringLiteral("a")});
    auto *second = new QTreeWidgetItem(&tree, {QStringLiteral("b")});
    std::vector<QTreeWidgetItem *> changes;
    QObject::connect(&tree, &QTreeWidget::currentItemChanged, &tree,
                     Guard([&](QTreeWidgetItem *current, QTreeWidgetItem *previous) {
                         changes = {current, previous};
                         if (current == second)
                             throw std::runtime_error("x");
                     }));
    tree.setCurrentItem(first);
    EXPECT_EQ(changes, (std::vector<QTreeWidgetItem *>{first, nullptr}));
    tree.setCurrentItem(second);
    EXPECT_EQ(changes, (std::vector<QTreeWidgetItem *>{second, first}));
    EXPECT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages[1], "Orvex|x.");
}

} // namespace
} // namespace orvex

TEST(QtFilter, CaptionsThatShowTheirPatternsAreNotDoubled)
{
    EXPECT_EQ(orvex::QtFilter(QStringLiteral("WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*")),
              QStringLiteral("WebListFile(*.wlf);;その他(*.*)"));
    EXPECT_EQ(orvex::QtFilter(QStringLiteral("すべてのファイル(*.*)|*.*")),
              QStringLiteral("すべてのファイル(*.*)"));
    EXPECT_EQ(orvex::QtFilter(QStringLiteral("ページ|*.htm;*.html")),
              QStringLiteral("ページ (*.htm *.html)"));
}

TEST(PrintDialog, ThePageRangeChoiceIsInJapanese)
{
    orvex::test::EnsureQApp();
    QPrinter printer;
    QPrintDialog dialog(&printer);
    orvex::CompletePrintDialogTexts(&dialog);
    QStringList texts;
    for (QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
        texts << button->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("ページ指定"))) << texts.join('|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("Pages")));
}
