#include "SwayIpcClient.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include "WaylandBackends.h"

namespace brevona {

namespace {

// The compositor answers from its main loop; longer means it hangs.
constexpr int kReplyTimeoutMs = 2000;

} // namespace

SwayIpcClient::SwayIpcClient(QString socketPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(socketPath.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : std::move(socketPath))
{}

SwayIpcClient::~SwayIpcClient() = default;

bool SwayIpcClient::isOpen() const
{
    return m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

bool SwayIpcClient::open(const QString &purpose)
{
    if (isOpen())
        return true;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_codec = I3IpcCodec();
    m_socket = new QLocalSocket(this);
    m_socket->connectToServer(m_socketPath);
    if (m_socketPath.isEmpty() || !m_socket->waitForConnected(kReplyTimeoutMs)) {
        if (!m_failureLogged)
            qCWarning(lcWayland).noquote()
                << QStringLiteral("Cannot reach sway's IPC socket %1 (%2); %3 are not available")
                       .arg(m_socketPath, m_socket->errorString(), purpose);
        m_failureLogged = true;
        m_socket->deleteLater();
        m_socket = nullptr;
        return false;
    }
    m_failureLogged = false;
    connect(m_socket, &QLocalSocket::readyRead, this, &SwayIpcClient::readAvailable);
    connect(m_socket, &QLocalSocket::disconnected, this, &SwayIpcClient::lost, Qt::QueuedConnection);
    return true;
}

std::optional<QByteArray> SwayIpcClient::request(quint32 type, const QByteArray &payload)
{
    if (!isOpen() || m_waiting)
        return std::nullopt;
    m_reply.reset();
    m_waiting = true;
    m_socket->write(I3IpcCodec::encode(type, payload));
    m_socket->flush();
    const QDeadlineTimer deadline(kReplyTimeoutMs);
    // readAvailable runs from inside the wait and sets the reply.
    while (!m_reply && isOpen() && !deadline.hasExpired()) {
        if (!m_socket->waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    m_waiting = false;
    if (!m_events.isEmpty() && !m_deliveryQueued) {
        m_deliveryQueued = true;
        QMetaObject::invokeMethod(this, &SwayIpcClient::deliverEvents, Qt::QueuedConnection);
    }
    if (!m_reply)
        qCWarning(lcWayland) << "sway did not answer request" << type;
    return std::exchange(m_reply, std::nullopt);
}

bool SwayIpcClient::subscribe(const QStringList &events)
{
    const QByteArray payload =
        QJsonDocument(QJsonArray::fromStringList(events)).toJson(QJsonDocument::Compact);
    const auto reply = request(I3IpcCodec::Subscribe, payload);
    return reply && QJsonDocument::fromJson(*reply).object().value(QLatin1String("success")).toBool();
}

void SwayIpcClient::readAvailable()
{
    if (!m_socket)
        return;
    m_codec.feed(m_socket->readAll());
    while (auto message = m_codec.next()) {
        if (message->type & I3IpcCodec::EventBit)
            m_events.append(std::move(*message));
        else if (m_waiting && !m_reply)
            m_reply = std::move(message->payload);
    }
    if (m_codec.failed()) {
        qCWarning(lcWayland) << "sway's IPC socket sent something that is not an IPC message; closing it";
        m_socket->abort();
        return;
    }
    if (!m_waiting)
        deliverEvents();
}

void SwayIpcClient::deliverEvents()
{
    m_deliveryQueued = false;
    // A handler may make a request, which appends events of its own: they wait for their turn.
    while (!m_events.isEmpty() && !m_waiting) {
        const I3IpcCodec::Message message = m_events.takeFirst();
        Q_EMIT eventReceived(message.type, message.payload);
    }
}

void SwayIpcClient::lost()
{
    if (!m_socket || isOpen())
        return;
    qCWarning(lcWayland) << "sway's IPC socket closed";
    m_events.clear();
    Q_EMIT closed();
}

} // namespace brevona
