// One running Orvex per data folder. The first start holds a lock and
// listens on a local socket, both named after its data folder, in the
// user's runtime folder; a later start with the same data folder hands its
// command-line addresses to the first one and ends, so two processes never
// share one set of files and engine profiles. The lock file goes with the
// first one's end. Where the runtime folder is not a private folder of the
// user, there is no meeting place (ServerPath() is empty).
#pragma once

#include <QObject>
#include <QStringList>
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

    // The socket's and the lock's paths ("<runtime>/orvex-<hash>", + ".lock").
    QString ServerPath() const { return serverPath_; }
    QString LockPath() const { return serverPath_ + QStringLiteral(".lock"); }

    // $XDG_RUNTIME_DIR when it is a private folder of the user with room for a
    // socket name, else /tmp/orvex-<uid>, made private; "" when neither is.
    static std::string RuntimeFolder();

signals:
    // Addresses handed over by a later start, in its argument order.
    void AddressesReceived(const QStringList &addresses);

private:
    enum class Delivery { Taken, Unanswered, NotReached };

    bool TryLock();
    void Listen();
    Delivery HandOver(const QStringList &addresses, int timeoutMs);
    void ReadRequest(QLocalSocket *socket);

    QString serverPath_;
    int lockFd_ = -1;
    QLocalServer *server_ = nullptr;
    int connections_ = 0; // open connections of the server
};

} // namespace orvex
