#pragma once

#include <mutex>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QThread>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace brevona::test {

// A small HTTP/1.1 server on 127.0.0.1 with its own thread, so that clients blocking the test's
// thread (libcurl) and clients on its event loop (Qt Network) both reach it. Every answer closes
// the connection.
class LoopbackHttpServer
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray contentType = {}; // none when empty
        QByteArray body = {};
        QList<QPair<QByteArray, QByteArray>> headers = {};
        // Answer only after this long.
        int delayMs = 0;
        // Send the headers and the first half of the body, then wait this long for the rest.
        int stallMidBodyMs = 0;
        // Answer only when released.
        bool hold = false;
        // "user:password" the request must carry as Basic authorization; else 401.
        QByteArray basicCredentials = {};
        // No Content-Length: the body ends when the connection closes.
        bool omitLength = false;
    };

    struct Request
    {
        QByteArray method;
        QByteArray path;                       // with the query ("/versions.xml?hash=...")
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();

    // Paths without their query; a path not routed answers 404.
    void route(const QByteArray &path, const Reply &reply);
    QUrl url(const QByteArray &path = "/") const;

    QList<Request> requests() const;
    // Requests for a path, whatever their query.
    int requestCount(const QByteArray &path) const;
    // Requests of "hold" routes waiting for release, and answers them.
    int heldCount() const;
    void releaseHeld(int count = -1);
    int maxOpenConnections() const;

    // A port of this machine where nobody listens (as far as anyone can tell).
    static quint16 closedPort();

private:
    class Worker;

    QThread m_thread;
    Worker *m_worker = nullptr;
    quint16 m_port = 0;
};

} // namespace brevona::test
