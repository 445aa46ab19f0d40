#include "support/HttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvex::test {

namespace {

constexpr int kPatternPeriod = 251; // a prime: no power-of-two block repeats it

const QByteArray &PatternBlock()
{
    // About 1 MiB: whole periods, so any offset starts inside it.
    static const QByteArray block = [] {
        QByteArray bytes(kPatternPeriod * 4096, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i % kPatternPeriod) * 7 + 3);
        return bytes;
    }();
    return block;
}

const char *ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

QByteArray HttpRequest::Header(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower() + ':';
    for (const QByteArray &line : head.split('\n')) {
        if (line.toLower().startsWith(wanted))
            return line.mid(wanted.size()).trimmed();
    }
    return QByteArray();
}

HttpReply HttpReply::Page(const QByteArray &title, const QByteArray &body)
{
    HttpReply reply;
    reply.body = "<html><head><meta charset='utf-8'><title>" + title + "</title></head><body>" + body +
                 "</body></html>";
    return reply;
}

QByteArray HttpServer::GeneratedBytes(qint64 offset, qint64 size)
{
    QByteArray bytes;
    bytes.reserve(int(size));
    const QByteArray &block = PatternBlock();
    while (size > 0) {
        const int start = int(offset % kPatternPeriod);
        const int n = int(std::min<qint64>(size, block.size() - start));
        bytes.append(block.constData() + start, n);
        offset += n;
        size -= n;
    }
    return bytes;
}

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler))
{
    PatternBlock();
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listener_, 64);
    ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpServer::~HttpServer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    wake_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    for (std::thread &connection : connections_)
        connection.join();
}

QString HttpServer::Url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

void HttpServer::AcceptLoop()
{
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 || stopping_) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.push_back(fd);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

bool HttpServer::WaitUnlessStopped(int ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

bool HttpServer::SendAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        // MSG_NOSIGNAL: a client that hangs up must not end the process.
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

void HttpServer::Serve(int fd)
{
    QByteArray head;
    char buffer[4096];
    while (!head.contains("\r\n\r\n") && head.size() < 65536) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        head.append(buffer, int(n));
    }
    const int headEnd = head.indexOf("\r\n\r\n");
    QByteArray body = headEnd >= 0 ? head.mid(headEnd + 4) : QByteArray();
    head.truncate(headEnd >= 0 ? headEnd + 4 : head.size());
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    if (words.size() >= 2) {
        HttpRequest request{words[0], words[1], head, QByteArray()};
        const qint64 length = std::min<qint64>(request.Header("Content-Length").toLongLong(), 1 << 20);
        while (body.size() < length) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            body.append(buffer, int(n));
        }
        request.body = body.left(int(length));
        const HttpReply reply = handler_(request);
        if (reply.delayMs <= 0 || WaitUnlessStopped(reply.delayMs)) {
            const qint64 size = reply.generatedSize >= 0 ? reply.generatedSize : reply.body.size();
            QByteArray header = "HTTP/1.0 " + QByteArray::number(reply.status) + ' ' +
                                ReasonPhrase(reply.status) + "\r\nContent-Type: " + reply.contentType +
                                "\r\nContent-Length: " + QByteArray::number(size) +
                                "\r\nConnection: close\r\n";
            for (const QByteArray &line : reply.headers)
                header += line + "\r\n";
            header += "\r\n";
            bool open = SendAll(fd, header.constData(), header.size());
            const qint64 limit = reply.stallAfter >= 0 ? std::min(reply.stallAfter, size) : size;
            if (reply.generatedSize >= 0) {
                const QByteArray &block = PatternBlock();
                for (qint64 sent = 0; open && sent < limit && !stopping_;) {
                    const int start = int(sent % kPatternPeriod);
                    const qint64 n = std::min<qint64>(limit - sent, block.size() - start);
                    open = SendAll(fd, block.constData() + start, n);
                    sent += n;
                }
            } else if (open) {
                SendAll(fd, reply.body.constData(), limit);
            }
            if (reply.stallAfter >= 0)
                WaitUnlessStopped(24 * 3600 * 1000);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
}

} // namespace orvex::test
