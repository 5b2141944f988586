#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace brevona::test {

class LoopbackHttpServer::Worker : public QObject
{
public:
    quint16 listen()
    {
        m_server = new QTcpServer(this);
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        m_server->listen(QHostAddress::LocalHost, 0);
        return m_server->serverPort();
    }

    void release(int count)
    {
        QList<QPair<QTcpSocket *, Reply>> released;
        {
            std::lock_guard lock(m_mutex);
            while (!m_held.isEmpty() && count-- != 0)
                released.append(m_held.takeFirst());
        }
        for (const auto &[socket, reply] : released)
            respond(socket, reply);
    }

    mutable std::mutex m_mutex;
    QHash<QByteArray, Reply> m_routes;
    QList<Request> m_requests;
    QList<QPair<QTcpSocket *, Reply>> m_held; // removed when the client goes away
    int m_open = 0;
    int m_maxOpen = 0;

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            {
                std::lock_guard lock(m_mutex);
                m_maxOpen = std::max(m_maxOpen, ++m_open);
            }
            QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                {
                    std::lock_guard lock(m_mutex);
                    --m_open;
                    m_held.removeIf([socket](const auto &held) { return held.first == socket; });
                }
                m_buffers.remove(socket);
                socket->deleteLater();
            });
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer.append(socket->readAll());
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        m_buffers.remove(socket);
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request{requestLine.value(0), requestLine.value(1), {}};
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                       lines.at(i).mid(colon + 1).trimmed());
        }
        const qsizetype query = request.path.indexOf('?');
        const QByteArray path = query < 0 ? request.path : request.path.left(query);

        Reply reply{.status = 404, .body = "no such route"};
        {
            std::lock_guard lock(m_mutex);
            m_requests.append(request);
            reply = m_routes.value(path, reply);
        }
        if (!reply.basicCredentials.isEmpty() &&
            request.headers.value("authorization") != "Basic " + reply.basicCredentials.toBase64()) {
            reply = Reply{.status = 401,
                          .body = "unauthorized",
                          .headers = {{"WWW-Authenticate", "Basic realm=\"brevona\""}}};
        }
        if (reply.hold) {
            std::lock_guard lock(m_mutex);
            m_held.append({socket, reply});
        } else if (reply.delayMs > 0) {
            QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] { respond(socket, reply); });
        } else {
            respond(socket, reply);
        }
    }

    void respond(QTcpSocket *socket, const Reply &reply)
    {
        // The clients quote the reason of a failure.
        const QByteArray reason = reply.status == 404 ? "Not Found" : reply.status == 200 ? "OK" : "Status";
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason + "\r\n";
        if (!reply.contentType.isEmpty())
            head += "Content-Type: " + reply.contentType + "\r\n";
        if (!reply.omitLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        head += "Connection: close\r\n";
        for (const auto &[name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        head += "\r\n";
        if (reply.stallMidBodyMs > 0) {
            const qsizetype half = reply.body.size() / 2;
            socket->write(head + reply.body.left(half));
            QTimer::singleShot(reply.stallMidBodyMs, socket, [socket, rest = reply.body.mid(half)] {
                socket->write(rest);
                socket->disconnectFromHost();
            });
            return;
        }
        socket->write(head + reply.body);
        socket->disconnectFromHost();
    }

    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

LoopbackHttpServer::LoopbackHttpServer()
{
    m_thread.start();
    m_worker = new Worker;
    m_worker->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_worker, [this] { m_port = m_worker->listen(); }, Qt::BlockingQueuedConnection);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.quit();
    m_thread.wait();
}

void LoopbackHttpServer::route(const QByteArray &path, const Reply &reply)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_routes.insert(path, reply);
}

QUrl LoopbackHttpServer::url(const QByteArray &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QString::fromLatin1(path)));
}

QList<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_requests;
}

int LoopbackHttpServer::requestCount(const QByteArray &path) const
{
    std::lock_guard lock(m_worker->m_mutex);
    return static_cast<int>(
        std::count_if(m_worker->m_requests.begin(), m_worker->m_requests.end(),
                      [&](const Request &request) { return request.path.split('?').constFirst() == path; }));
}

int LoopbackHttpServer::heldCount() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return static_cast<int>(m_worker->m_held.size());
}

void LoopbackHttpServer::releaseHeld(int count)
{
    QMetaObject::invokeMethod(
        m_worker, [this, count] { m_worker->release(count); }, Qt::BlockingQueuedConnection);
}

int LoopbackHttpServer::maxOpenConnections() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_maxOpen;
}

quint16 LoopbackHttpServer::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace brevona::test
