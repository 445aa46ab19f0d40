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

TEST(Entry, OpenGLIsLeftOutOnlyWhereNothingCanUseIt)
{
    EXPECT_TRUE(LeaveOpenGLOut("", "", "xcb", false));
    EXPECT_TRUE(LeaveOpenGLOut("software", "software", "", false));
    EXPECT_FALSE(LeaveOpenGLOut("", "", "xcb", true)) << "a graphics device";
    EXPECT_FALSE(LeaveOpenGLOut("opengl", "", "xcb", false)) << "asked for";
    EXPECT_FALSE(LeaveOpenGLOut("", "opengl", "xcb", false)) << "Qt Quick on OpenGL";
    EXPECT_FALSE(LeaveOpenGLOut("", "", "offscreen", false)) << "QtWebEngine aborts offscreen without it";
}

} // namespace
