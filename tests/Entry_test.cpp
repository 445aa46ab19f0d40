// Start-up set-up of the program: Japanese throughout.
#include "shell/Entry.h"
#include "support/QtApp.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
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

TEST(Entry, ASessionBusIsImpossibleOnlyWithNoAddressNoSocketAndNoLauncher)
{
    QTemporaryDir runtime, bin, empty;
    const QByteArray runtimeFolder = runtime.path().toLocal8Bit();
    const QByteArray path = empty.path().toLocal8Bit() + "::" + bin.path().toLocal8Bit();
    EXPECT_TRUE(SessionBusImpossible("", runtimeFolder, path));
    EXPECT_TRUE(SessionBusImpossible("", "", ""));
    EXPECT_FALSE(SessionBusImpossible("unix:path=/run/user/1/bus", runtimeFolder, path)) << "an address";

    QFile socket(runtime.filePath(QStringLiteral("bus")));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    EXPECT_FALSE(SessionBusImpossible("", runtimeFolder, path)) << "the runtime folder's bus";

    QFile launcher(bin.filePath(QStringLiteral("dbus-launch")));
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.close();
    EXPECT_TRUE(SessionBusImpossible("", "", path)) << "not executable";
    launcher.setPermissions(launcher.permissions() | QFileDevice::ExeOwner);
    EXPECT_FALSE(SessionBusImpossible("", "", path)) << "a launcher on the path";
}

} // namespace
