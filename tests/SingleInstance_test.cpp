// One running Orvex per data folder: the first start listens, a later one
// hands its addresses over (from another thread here, as from another
// process) and the main window opens them; a socket left by a killed Orvex
// does not stand in the way.
#include "browser/ChildForm.h"
#include "shell/Entry.h"
#include "shell/Main.h"
#include "shell/SingleInstance.h"
#include "support/FakeUi.h"
#include "support/MainHarness.h"
#include "support/QtApp.h"
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>

using namespace orvex;
using namespace orvex::test;
using Role = SingleInstance::Role;

namespace {

// The tests meet on their own runtime folders and buses only: never on the
// session bus of the desktop they may run on.
const bool kNoSessionBus = [] { return qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); }();

// A later start with its own SingleInstance, run on another thread while this
// one keeps the event loop going, as the running Orvex does.
Role StartLater(const std::string &data, const std::string &runtime, const QStringList &addresses,
                int timeoutMs = 5000, const QString &busAddress = QString())
{
    Role role = Role::NoAnswer;
    std::unique_ptr<QThread> later(QThread::create([&] {
        SingleInstance instance(data, runtime);
        if (!busAddress.isEmpty())
            instance.UseBus(QDBusConnection::connectToBus(busAddress, QStringLiteral("later")));
        role = instance.Start(addresses, timeoutMs);
    }));
    later->start();
    while (!later->wait(0))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return role;
}

// What an instance was handed, one list per later start.
struct Received {
    explicit Received(SingleInstance &instance)
    {
        QObject::connect(&instance, &SingleInstance::AddressesReceived,
                         [this](const QStringList &addresses) { lists.push_back(addresses); });
    }
    std::vector<QStringList> lists;
};

// A runtime folder of the test's own, in which the instances meet.
class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() { EnsureQApp(); }
    TempFolder runtimeFolder;
    std::string Runtime() const { return runtimeFolder.Path() + "/"; }
};

TEST_F(SingleInstanceTest, LaterStartHandsItsAddressesToTheFirstOfItsDataFolderOnly)
{
    TempFolder dataA, dataB;
    SingleInstance first(dataA.Path() + "/", Runtime());
    Received received(first);
    ASSERT_EQ(first.Start({"ignored"}), Role::First);

    const QStringList addresses{"https://127.0.0.1:8443/a?x=1&y=2", "", "/tmp/ページ.html"};
    EXPECT_EQ(StartLater(dataA.Path() + "/", Runtime(), addresses), Role::HandedOver);
    ASSERT_EQ(received.lists.size(), 1u);
    EXPECT_EQ(received.lists[0], addresses);
    // The same folder by another spelling is the same data folder.
    EXPECT_EQ(StartLater(dataA.Path() + "/./", Runtime(), {}), Role::HandedOver);
    ASSERT_EQ(received.lists.size(), 2u);
    EXPECT_TRUE(received.lists[1].isEmpty());

    // Another data folder runs an Orvex of its own.
    SingleInstance other(dataB.Path() + "/", Runtime());
    EXPECT_EQ(other.Start({}), Role::First);
    EXPECT_NE(other.ServerPath(), first.ServerPath());
}

TEST_F(SingleInstanceTest, AfterTheFirstEndsOrIsKilledTheNextStartRuns)
{
    TempFolder data;
    QString server;
    {
        SingleInstance first(data.Path() + "/", Runtime());
        ASSERT_EQ(first.Start({}), Role::First);
        server = first.ServerPath();
        ASSERT_TRUE(QFile::exists(first.LockPath()));
    }
    EXPECT_FALSE(QFile::exists(server + ".lock")) << "the lock file goes with its Orvex";
    EXPECT_EQ(StartLater(data.Path() + "/", Runtime(), {"x"}, 300), Role::First);

    // A killed Orvex leaves its lock file and a socket file nobody listens on.
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, QFile::encodeName(server).constData(), sizeof address.sun_path);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
    ASSERT_TRUE(QFile::exists(server));

    SingleInstance next(data.Path() + "/", Runtime());
    Received received(next);
    ASSERT_EQ(next.Start({}), Role::First);
    EXPECT_EQ(StartLater(data.Path() + "/", Runtime(), {"http://a/"}), Role::HandedOver);
    EXPECT_EQ(received.lists, std::vector<QStringList>{{"http://a/"}});
}

TEST_F(SingleInstanceTest, RunningCopyThatNeverAnswersIsReported)
{
    TempFolder data;
    // Holds the lock and takes the connection, but its event loop never
    // runs while the later start waits.
    SingleInstance hung(data.Path() + "/", Runtime());
    ASSERT_EQ(hung.Start({}), Role::First);
    SingleInstance later(data.Path() + "/", Runtime());
    EXPECT_EQ(later.Start({"http://a/"}, 400), Role::NoAnswer);
}

// Other programs of the user get so many connections, each for so long, and
// so many addresses per hand-off; a later start still gets through.
TEST_F(SingleInstanceTest, IdleConnectionsAndLongHandOffsAreLimited)
{
    TempFolder data;
    FakeUi ui;
    SingleInstance first(data.Path() + "/", Runtime());
    Received received(first);
    ASSERT_EQ(first.Start({}), Role::First);
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, QFile::encodeName(first.ServerPath()).constData(), sizeof address.sun_path);
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        idle.push_back(fd);
    }
    // Those past the limit are closed at once.
    const auto closed = [&] {
        int count = 0;
        for (const int fd : idle) {
            char byte = 0;
            count += recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
        }
        return count;
    };
    for (int i = 0; i < 500 && closed() < 24; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(closed(), 24);
    // The silent ones go in time, and a later start gets through.
    QStringList many;
    for (int i = 0; i < 150; ++i)
        many << QStringLiteral("http://a/%1").arg(i);
    EXPECT_EQ(StartLater(data.Path() + "/", Runtime(), many, 30000), Role::HandedOver);
    EXPECT_EQ(closed(), 40);
    for (const int fd : idle)
        close(fd);
    ASSERT_EQ(received.lists.size(), 1u);
    EXPECT_EQ(received.lists[0], many.mid(0, 100));
    for (int i = 0; i < 250 && ui.messages.isEmpty(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(ui.messages,
              QStringList{"Orvex|一度に開けるアドレスは 100 件までです。残りの 50 件は開きませんでした."});
}

// On a session bus the later start finds the first by its name and hands the
// addresses over through org.freedesktop.Application, even where no runtime
// folder is shared; the name goes with the first.
TEST_F(SingleInstanceTest, OnASessionBusTheHandOffGoesThroughTheApplicationInterface)
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(10000))
        GTEST_SKIP() << "no dbus-daemon here; not tested";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("first"));
    ASSERT_TRUE(bus.isConnected());
    TempFolder data, otherRuntime;
    {
        SingleInstance first(data.Path() + "/", Runtime());
        first.UseBus(bus);
        Received received(first);
        ASSERT_EQ(first.Start({}), Role::First);
        EXPECT_TRUE(bus.interface()->isServiceRegistered(first.BusName()));
        EXPECT_EQ(
            StartLater(data.Path() + "/", otherRuntime.Path() + "/", {"http://a/", "/tmp/b"}, 10000, address),
            Role::HandedOver);
        EXPECT_EQ(StartLater(data.Path() + "/", otherRuntime.Path() + "/", {}, 10000, address),
                  Role::HandedOver);
        EXPECT_EQ(received.lists, (std::vector<QStringList>{{"http://a/", "/tmp/b"}, {}}));
    }
    SingleInstance next(data.Path() + "/", otherRuntime.Path() + "/");
    next.UseBus(bus);
    EXPECT_EQ(next.Start({}), Role::First);
    QDBusConnection::disconnectFromBus(QStringLiteral("first"));
    QDBusConnection::disconnectFromBus(QStringLiteral("later"));
    daemon.kill();
    daemon.waitForFinished();
}

TEST(SingleInstance, RuntimeFolderIsPrivateAndShortEnoughForASocketName)
{
    TempFolder longName;
    const std::string deep = longName.Path() + "/" + std::string(90, 'r');
    mkdir(deep.c_str(), 0700);
    const char *old = getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    const std::string fallback = "/tmp/orvex-" + std::to_string(geteuid()) + "/";
    EXPECT_EQ(SingleInstance::RuntimeFolder(), fallback);
    chmod(longName.Path().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", longName.Path().c_str(), 1);
    EXPECT_EQ(SingleInstance::RuntimeFolder(), longName.Path() + "/");
    chmod(longName.Path().c_str(), 0755); // open to others: not used
    EXPECT_EQ(SingleInstance::RuntimeFolder(), fallback);
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST(SingleInstance, HandedOverAddressesOpenAsTheCommandLinesDoInOrder)
{
    MainHarness h;
    h.Start();
    h.form->FileNew1Execute();
    TempFolder runtime;
    SingleInstance first(h.AppDir(), runtime.Path() + "/");
    QObject::connect(&first, &SingleInstance::AddressesReceived, h.form,
                     [&h](const QStringList &addresses) { OpenHandedOver(*h.form, addresses); });
    ASSERT_EQ(first.Start({}), Role::First);

    ASSERT_EQ(StartLater(h.AppDir(), runtime.Path() + "/", {"http://a/", "file:///tmp/b.html"}),
              Role::HandedOver);
    h.Pump();
    ASSERT_EQ(h.form->ChildCount(), 3);
    for (int i : {1, 2})
        EXPECT_EQ(h.Child(i)->windowTitle(), QStringLiteral("londing"));
    EXPECT_TRUE(h.EngineOf(h.Child(1))->Called("Navigate(http://a/)"));
    EXPECT_TRUE(h.EngineOf(h.Child(2))->Called("Navigate(file:///tmp/b.html)"));
}

TEST(SingleInstance, RelativeFileArgumentsBecomeFullPathsOthersStayAsGiven)
{
    TempFolder cwd;
    cwd.Write("page.html", "<p>");
    const QString folder = QString::fromStdString(cwd.Path());
    const QStringList given{"page.html", "./page.html", "missing.html", "http://x/", "about:blank",
                            "",          "/etc"};
    const QStringList expected{
        folder + "/page.html", folder + "/page.html", "missing.html", "http://x/", "about:blank", "", "/etc"};
    EXPECT_EQ(CommandLineAddresses(given, folder), expected);
}

} // namespace
