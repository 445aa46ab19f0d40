// A small HTTP/1.0 server on 127.0.0.1 for tests and benchmarks. It runs on
// threads of its own (one per connection), so it answers while the caller's
// event loop is busy or blocked, and it loads the caller's loop not at all.
// A handler, called on a server thread, turns each request into a reply.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvex::test {

struct HttpRequest {
    QByteArray method;
    QByteArray path;
    QByteArray head; // the request line and headers, as received
    QByteArray body; // the Content-Length bytes after the headers (a form's POST)
    // The value of a header ("" when absent); the name without regard to case.
    QByteArray Header(const QByteArray &name) const;
};

struct HttpReply {
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8";
    QByteArrayList headers; // further header lines, without line ends
    QByteArray body;
    // When not negative: a body of this many bytes of GeneratedBytes instead.
    qint64 generatedSize = -1;
    // When not negative: after this many body bytes the connection stays
    // open and silent until the server stops.
    qint64 stallAfter = -1;
    int delayMs = 0; // wait before answering

    static HttpReply Page(const QByteArray &title, const QByteArray &body = QByteArray());
};

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest &)>;
    explicit HttpServer(Handler handler);
    ~HttpServer(); // stops: wakes waiting and stalled connections and joins them
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    int Port() const { return port_; }
    QString Url(const QString &path) const;

    // The generated body bytes [offset, offset + size): a pattern that does
    // not repeat at any power of two, so a lost or doubled block shows.
    static QByteArray GeneratedBytes(qint64 offset, qint64 size);

private:
    void AcceptLoop();
    void Serve(int fd);
    bool SendAll(int fd, const char *data, qint64 size);
    bool WaitUnlessStopped(int ms); // false when the server stops first

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread acceptor_;
    std::vector<std::thread> connections_;
    std::vector<int> openFds_;
};

} // namespace orvex::test
