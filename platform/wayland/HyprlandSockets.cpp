#include "HyprlandSockets.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

#include "WaylandBackends.h"

namespace brevona {

namespace {

constexpr int kReplyTimeoutMs = 2000;
// Far beyond any reply of a desktop's worth of windows; a larger one is not Hyprland's.
constexpr qsizetype kMaximumReply = 16 << 20;
// An event line longer than this is cut off rather than kept growing.
constexpr qsizetype kMaximumLine = 64 << 10;

} // namespace

QString HyprlandSockets::instanceFolder(const QString &runtimeDir, const QString &signature)
{
    const QString current = QDir(runtimeDir).filePath(QStringLiteral("hypr/") + signature);
    if (!runtimeDir.isEmpty() && QFileInfo(current).isDir())
        return current;
    return QStringLiteral("/tmp/hypr/") + signature;
}

HyprlandSockets::HyprlandSockets(QString folder, QObject *parent)
    : QObject(parent)
    , m_folder(!folder.isEmpty() ? std::move(folder)
                                 : instanceFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"),
                                                  qEnvironmentVariable("HYPRLAND_INSTANCE_SIGNATURE")))
{}

HyprlandSockets::~HyprlandSockets() = default;

std::optional<QByteArray> HyprlandSockets::request(const QByteArray &command)
{
    QLocalSocket socket;
    socket.connectToServer(QDir(m_folder).filePath(QStringLiteral(".socket.sock")));
    if (!socket.waitForConnected(kReplyTimeoutMs))
        return std::nullopt;
    socket.write(command);
    socket.flush();
    QByteArray reply;
    const QDeadlineTimer deadline(kReplyTimeoutMs);
    // The reply ends where Hyprland closes the connection.
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired() &&
           reply.size() < kMaximumReply) {
        if (socket.waitForReadyRead(int(deadline.remainingTime())))
            reply += socket.readAll();
    }
    reply += socket.readAll();
    if (socket.state() == QLocalSocket::ConnectedState) {
        qCWarning(lcWayland) << "Hyprland did not finish its reply to" << command;
        return std::nullopt;
    }
    return reply;
}

bool HyprlandSockets::openEvents(const QString &purpose)
{
    if (m_events && m_events->state() == QLocalSocket::ConnectedState)
        return true;
    if (m_events) {
        m_events->disconnect(this);
        m_events->deleteLater();
    }
    m_partial.clear();
    m_events = new QLocalSocket(this);
    m_events->connectToServer(QDir(m_folder).filePath(QStringLiteral(".socket2.sock")));
    if (!m_events->waitForConnected(kReplyTimeoutMs)) {
        if (!m_failureLogged)
            qCWarning(lcWayland).noquote()
                << QStringLiteral("Cannot reach Hyprland's event socket in %1 (%2); %3 are not available")
                       .arg(m_folder, m_events->errorString(), purpose);
        m_failureLogged = true;
        m_events->deleteLater();
        m_events = nullptr;
        return false;
    }
    m_failureLogged = false;
    connect(m_events, &QLocalSocket::readyRead, this, &HyprlandSockets::readEvents);
    connect(
        m_events, &QLocalSocket::disconnected, this,
        [this] {
            qCWarning(lcWayland) << "Hyprland's event socket closed";
            Q_EMIT closed();
        },
        Qt::QueuedConnection);
    return true;
}

void HyprlandSockets::readEvents()
{
    m_partial += m_events->readAll();
    qsizetype start = 0;
    for (qsizetype end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
        if (const auto event = HyprlandPayloads::event(m_partial.mid(start, end - start)))
            Q_EMIT eventReceived(*event);
        start = end + 1;
    }
    m_partial.remove(0, start);
    if (m_partial.size() > kMaximumLine)
        m_partial.clear();
}

} // namespace brevona
