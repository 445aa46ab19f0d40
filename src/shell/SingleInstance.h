// One running Orvex per data folder. The first start holds a lock and
// listens on a local socket, both named after its data folder, in the
// user's runtime folder; a later start with the same data folder hands its
// command-line addresses to the first one and ends, so two processes never
// share one set of files and engine profiles. On a session bus the hand-off
// goes the desktop's way: the first start owns a well-known name made from
// its data folder and serves org.freedesktop.Application there; the lock
// and the socket stay for starts that have no bus (as under xvfb-run). The lock file goes with the
// first one's end. Where the runtime folder is not a private folder of the
// user, there is no meeting place (ServerPath() is empty).
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace orvex {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        First,      // no other Orvex uses the data folder: this one runs
        HandedOver, // the running Orvex took the addresses: this one ends
        NoAnswer,   // an Orvex holds the data folder but took nothing in time
    };

    // `runtimeFolder` with its trailing "/"; empty takes RuntimeFolder().
    explicit SingleInstance(const std::string &dataFolder, const std::string &runtimeFolder = {},
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the first for the data folder, or hands `addresses` over to the
    // one that is. Waits up to `timeoutMs` for a running one that is still
    // starting or just ending.
    Role Start(const QStringList &addresses, int timeoutMs = 10000);

    // The session bus by default; tests give a bus of their own. Before Start.
    void UseBus(const QDBusConnection &bus) { bus_ = bus; }
    // The well-known name on the bus, "io.orvex.Orvex.f<hash>", and the path
    // of the application object.
    QString BusName() const { return busName_; }
    static QString BusPath();

    // The socket's and the lock's paths ("<runtime>/orvex-<hash>", + ".lock").
    QString ServerPath() const { return serverPath_; }
    QString LockPath() const { return serverPath_ + QStringLiteral(".lock"); }

    // $XDG_RUNTIME_DIR when it is a private folder of the user with room for a
    // socket name, else /tmp/orvex-<uid>, made private; "" when neither is.
    static std::string RuntimeFolder();

    // Addresses of a later start, by either way: at most 100 are opened,
    // the user is told of the rest.
    void Deliver(const QStringList &addresses);

signals:
    // Addresses handed over by a later start, in its argument order.
    void AddressesReceived(const QStringList &addresses);

private:
    enum class Delivery { Taken, Unanswered, NotReached };

    bool OwnBusName();
    Delivery HandOverOnBus(const QStringList &addresses, int timeoutMs);

    bool TryLock();
    void Listen();
    Delivery HandOver(const QStringList &addresses, int timeoutMs);
    void ReadRequest(QLocalSocket *socket);

    QDBusConnection bus_;
    QString busName_;
    bool ownsBusName_ = false;
    QString serverPath_;
    int lockFd_ = -1;
    QLocalServer *server_ = nullptr;
    int connections_ = 0; // open connections of the server
};

// org.freedesktop.Application on the first start's object: Open hands the
// addresses over, Activate brings the window up as an empty hand-off does.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(SingleInstance *instance);

public slots:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData);
    void ActivateAction(const QString &name, const QVariantList &parameter, const QVariantMap &platformData);

private:
    SingleInstance *instance_;
};

} // namespace orvex
