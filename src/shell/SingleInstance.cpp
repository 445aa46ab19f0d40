#include "shell/SingleInstance.h"

#include "core/Errors.h"
#include "platform/UiServices.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

// A request: "ORVX", the payload's size, then per address its UTF-8 length
// and bytes, all sizes as 32-bit big-endian numbers. The answer is "K".
const QByteArray kMagic = QByteArrayLiteral("ORVX");
constexpr char kAnswer = 'K';
constexpr quint32 kMaxPayload = 1 << 20;

// What one running Orvex takes from later starts and other programs of the
// user: so many connections at once (more are closed at once), so long for
// a connection to deliver its request, so many addresses per request.
constexpr int kMaxConnections = 16;
constexpr int kRequestTimeoutMs = 5000;
constexpr int kMaxAddresses = 100;

// Room for "/orvex-" + 16 hexadecimal digits + ".lock" in a socket address,
// which holds 107 bytes.
constexpr size_t kMaxRuntimeFolder = 80;

void AppendSize(QByteArray &bytes, quint32 size)
{
    char raw[4];
    qToBigEndian(size, raw);
    bytes.append(raw, 4);
}

quint32 SizeAt(const QByteArray &bytes, int offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
}

QByteArray EncodeRequest(const QStringList &addresses)
{
    QByteArray payload;
    for (const QString &address : addresses) {
        const QByteArray text = address.toUtf8();
        AppendSize(payload, static_cast<quint32>(text.size()));
        payload += text;
    }
    QByteArray request = kMagic;
    AppendSize(request, static_cast<quint32>(payload.size()));
    return request + payload;
}

// The addresses of a payload; nullopt when it does not hold whole addresses.
std::optional<QStringList> DecodePayload(const QByteArray &payload)
{
    QStringList addresses;
    int at = 0;
    while (at < payload.size()) {
        if (payload.size() - at < 4)
            return std::nullopt;
        const quint32 size = SizeAt(payload, at);
        at += 4;
        if (size > static_cast<quint32>(payload.size() - at))
            return std::nullopt;
        addresses << QString::fromUtf8(payload.constData() + at, static_cast<int>(size));
        at += static_cast<int>(size);
    }
    return addresses;
}

// A folder of this user's that no one else may enter.
bool IsPrivateFolder(const std::string &path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

// The session bus when one runs; never one started for the asking (the bus
// library would launch one on the X display otherwise).
QDBusConnection SessionBusIfRunning()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime) + QStringLiteral("/bus"))))
        return QDBusConnection(QStringLiteral("orvex-no-session-bus"));
    return QDBusConnection::sessionBus();
}

} // namespace

std::string SingleInstance::RuntimeFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && std::string(runtime).size() < kMaxRuntimeFolder &&
        IsPrivateFolder(runtime))
        return std::string(runtime) + "/";
    const std::string own = "/tmp/orvex-" + std::to_string(geteuid());
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return IsPrivateFolder(own) ? own + "/" : std::string();
}

SingleInstance::SingleInstance(const std::string &dataFolder, const std::string &runtimeFolder,
                               QObject *parent)
    : QObject(parent), bus_(SessionBusIfRunning())
{
    // The same folder reached by another spelling is the same data folder.
    QString folder = QFileInfo(QString::fromStdString(dataFolder)).canonicalFilePath();
    if (folder.isEmpty())
        folder = QString::fromStdString(dataFolder);
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex();
    busName_ = QStringLiteral("io.orvex.Orvex.f") + QString::fromLatin1(hash.left(16));
    const std::string runtime = runtimeFolder.empty() ? RuntimeFolder() : runtimeFolder;
    if (runtime.empty())
        return;
    serverPath_ =
        QString::fromStdString(runtime) + QStringLiteral("orvex-") + QString::fromLatin1(hash.left(16));
}

QString SingleInstance::BusPath()
{
    return QStringLiteral("/io/orvex/Orvex");
}

SingleInstance::~SingleInstance()
{
    if (ownsBusName_) {
        bus_.unregisterObject(BusPath());
        bus_.unregisterService(busName_);
    }
    if (server_)
        server_->close(); // removes the socket file
    if (lockFd_ >= 0) {
        // Removed while still held: a start that opened it meanwhile finds
        // it gone after locking and tries again (TryLock).
        ::unlink(QFile::encodeName(LockPath()).constData());
        ::close(lockFd_);
    }
}

SingleInstance::Role SingleInstance::Start(const QStringList &addresses, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // On a session bus the name decides at once, whoever asks first.
    if (bus_.isConnected() && !OwnBusName()) {
        switch (HandOverOnBus(addresses, timeoutMs)) {
        case Delivery::Taken:
            return Role::HandedOver;
        case Delivery::Unanswered:
            return Role::NoAnswer;
        case Delivery::NotReached:
            break; // the owner ended meanwhile: the lock decides
        }
    }
    // Without a private runtime folder there is nowhere safe to meet.
    if (serverPath_.isEmpty())
        return Role::First;
    for (;;) {
        if (TryLock()) {
            Listen();
            return Role::First;
        }
        switch (HandOver(addresses, static_cast<int>(qMax<qint64>(1, timeoutMs - clock.elapsed())))) {
        case Delivery::Taken:
            return Role::HandedOver;
        case Delivery::Unanswered:
            return Role::NoAnswer;
        case Delivery::NotReached:
            break;
        }
        if (clock.elapsed() >= timeoutMs)
            return Role::NoAnswer;
        // The running one may still be starting its server, or be ending.
        QThread::msleep(100);
    }
}

// The lock is held for the life of the process and released by the system
// however the process ends, so a lock that can be taken means no running
// Orvex uses the data folder.
bool SingleInstance::TryLock()
{
    const QByteArray path = QFile::encodeName(LockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // The file may have been removed by the Orvex that held it, as it ended,
    // between our open and our lock: then a new one is locked.
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || ::stat(path.constData(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
        ::close(fd);
        return TryLock();
    }
    lockFd_ = fd;
    return true;
}

void SingleInstance::Listen()
{
    // Under the lock, a socket file still there was left by an Orvex that was
    // killed: nobody listens on it any more.
    QLocalServer::removeServer(serverPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverPath_)) {
        std::fprintf(stderr, "orvex: %s: %s\n", qPrintable(serverPath_), qPrintable(server_->errorString()));
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, Guard([this] {
                while (QLocalSocket *socket = server_->nextPendingConnection()) {
                    if (connections_ >= kMaxConnections) {
                        socket->abort();
                        socket->deleteLater();
                        continue;
                    }
                    ++connections_;
                    connect(socket, &QObject::destroyed, this, [this] { --connections_; });
                    // A connection that does not deliver its request in time goes.
                    QTimer::singleShot(kRequestTimeoutMs, socket, [socket] {
                        socket->abort();
                        socket->deleteLater();
                    });
                    connect(socket, &QLocalSocket::readyRead, this,
                            Guard([this, socket] { ReadRequest(socket); }));
                    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                    ReadRequest(socket);
                }
            }));
}

void SingleInstance::ReadRequest(QLocalSocket *socket)
{
    const QByteArray head = socket->peek(8);
    if (head.size() < 8)
        return;
    const quint32 size = SizeAt(head, 4);
    if (!head.startsWith(kMagic) || size > kMaxPayload) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 8 + static_cast<qint64>(size))
        return;
    socket->read(8);
    const std::optional<QStringList> addresses = DecodePayload(socket->read(size));
    if (!addresses) {
        socket->abort();
        return;
    }
    socket->write(&kAnswer, 1);
    socket->flush();
    socket->disconnectFromServer();
    Deliver(*addresses);
}

void SingleInstance::Deliver(const QStringList &addresses)
{
    if (addresses.size() > kMaxAddresses) {
        const int refused = addresses.size() - kMaxAddresses;
        emit AddressesReceived(addresses.mid(0, kMaxAddresses));
        // Told once the windows are open, outside the caller's handler.
        QTimer::singleShot(0, this, [refused] {
            ShowErrorBox(
                ToQ(FormatMessage(FormatMessage(msg::TooManyAddresses, std::to_string(kMaxAddresses)),
                                  std::to_string(refused))));
        });
        return;
    }
    emit AddressesReceived(addresses);
}

// Taken once the running one answered. An answer comes before the addresses
// are opened, so a request dropped unanswered was not opened and may be sent
// again; one left waiting on a live connection is not sent twice.
SingleInstance::Delivery SingleInstance::HandOver(const QStringList &addresses, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverPath_);
    if (!socket.waitForConnected(qMin(timeoutMs, 1000)))
        return Delivery::NotReached;
    socket.write(EncodeRequest(addresses));
    QElapsedTimer clock;
    clock.start();
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
           clock.elapsed() < timeoutMs) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(50);
        else
            socket.waitForReadyRead(50);
    }
    char answer = 0;
    if (socket.read(&answer, 1) == 1 && answer == kAnswer)
        return Delivery::Taken;
    return socket.state() == QLocalSocket::ConnectedState ? Delivery::Unanswered : Delivery::NotReached;
}

// The name is asked for without queueing: either this start owns it now, or
// another one does.
bool SingleInstance::OwnBusName()
{
    auto *adaptor = new ApplicationAdaptor(this);
    if (!bus_.registerObject(BusPath(), this)) {
        delete adaptor;
        return false;
    }
    if (!bus_.registerService(busName_)) {
        bus_.unregisterObject(BusPath());
        delete adaptor;
        return false;
    }
    ownsBusName_ = true;
    return true;
}

SingleInstance::Delivery SingleInstance::HandOverOnBus(const QStringList &addresses, int timeoutMs)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        busName_, BusPath(), QStringLiteral("org.freedesktop.Application"),
        addresses.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (addresses.isEmpty())
        call << QVariantMap();
    else
        call << addresses << QVariantMap();
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return Delivery::Taken;
    return reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ? Delivery::Unanswered
                                                                                     : Delivery::NotReached;
}

ApplicationAdaptor::ApplicationAdaptor(SingleInstance *instance)
    : QDBusAbstractAdaptor(instance), instance_(instance)
{
}

void ApplicationAdaptor::Activate(const QVariantMap &)
{
    instance_->Deliver({});
}

void ApplicationAdaptor::Open(const QStringList &uris, const QVariantMap &)
{
    instance_->Deliver(uris);
}

void ApplicationAdaptor::ActivateAction(const QString &, const QVariantList &, const QVariantMap &)
{
    instance_->Deliver({});
}

} // namespace orvex
