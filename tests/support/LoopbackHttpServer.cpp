#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace brevona::test {

namespace {

QByteArray reasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer()
    : m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

bool LoopbackHttpServer::isListening() const
{
    return m_server->isListening();
}

QUrl LoopbackHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(m_server->serverPort()).arg(path));
}

void LoopbackHttpServer::setResponse(const QString &path, const Response &response)
{
    m_responses.insert(path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path, response);
}

void LoopbackHttpServer::clear()
{
    m_responses.clear();
    m_requests.clear();
    m_headers.clear();
}

int LoopbackHttpServer::count(const QString &path) const
{
    const QString wanted = path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
    int n = 0;
    for (const QString &request : m_requests) {
        if (request.section(QLatin1Char('?'), 0, 0) == wanted)
            ++n;
    }
    return n;
}

void LoopbackHttpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_pending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::read(QTcpSocket *socket)
{
    if (!m_pending.contains(socket))
        return;
    QByteArray &buffer = m_pending[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    m_pending.remove(socket);
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    const QString target = QString::fromLatin1(requestLine.value(1));
    const QString path = target.section(QLatin1Char('?'), 0, 0);
    QHash<QByteArray, QByteArray> headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    m_requests.append(target);
    m_headers.insert(path, headers);
    const Response response = m_responses.value(
        path,
        Response{.status = 404, .contentType = "text/html", .body = "<html><body>Not Found</body></html>"});
    if (response.stall)
        return;
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(response.delayMs, this, [this, guarded, response] {
        if (guarded)
            answer(guarded, response);
    });
}

void LoopbackHttpServer::answer(QTcpSocket *socket, const Response &response)
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonOf(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    if (!response.omitLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (response.stallMidway) {
        socket->write(response.body.left(response.body.size() / 2));
        return;
    }
    socket->write(response.body);
    socket->disconnectFromHost();
}

} // namespace brevona::test
