#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace brevona::test {

// A small HTTP/1.1 server on 127.0.0.1 for tests of programs that download: each path answers
// as it is told (status, type, body, silence, a delay), every request is recorded, and each
// connection is closed after its answer. Main thread; it answers while the test's event loop runs.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray contentType = "application/octet-stream";
        QByteArray body{};
        // The answer waits this long.
        int delayMs = 0;
        // No answer at all: the connection stays open and silent.
        bool stall = false;
        // The headers and the first half of the body, then silence.
        bool stallMidway = false;
        // No Content-Length: the body ends when the connection closes.
        bool omitLength = false;
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer() override;

    bool isListening() const;
    // "http://127.0.0.1:<port>/" followed by `path`.
    QUrl url(const QString &path = {}) const;

    // Paths without their query; a path not set answers 404.
    void setResponse(const QString &path, const Response &response);
    void clear();

    // The requested paths with their queries ("/versions.xml?hash=..."), in order of arrival.
    QStringList requests() const { return m_requests; }
    // The request headers of the last request for a path (names in lower case).
    QHash<QByteArray, QByteArray> headersOf(const QString &path) const { return m_headers.value(path); }
    int count(const QString &path) const;

private:
    void accept();
    void read(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Response &response);

    QTcpServer *m_server;
    QHash<QString, Response> m_responses;
    QStringList m_requests;
    QHash<QString, QHash<QByteArray, QByteArray>> m_headers;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

} // namespace brevona::test
