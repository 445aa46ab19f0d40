// Start-up set-up of the program: Japanese throughout.
#include "shell/Entry.h"
#include "support/QtApp.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLocale>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::test;

namespace {

TEST(Entry, StandardDialogsSpeakJapaneseAndTheLocaleIsJapanese)
{
    EnsureQApp();
    const QStringList loaded = LoadJapaneseTranslations();
    EXPECT_TRUE(loaded.contains(QStringLiteral("qtbase_ja")));
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QFileDialog files(nullptr, QString(), QString());
    files.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(files.labelText(QFileDialog::FileName), QStringLiteral("ファイル名(&N):"));
}

} // namespace
