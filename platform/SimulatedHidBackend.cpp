#include "SimulatedHidBackend.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include "HidBackendLogging.h"
#include "VolumeLayout.h"

namespace brevona {

namespace {

const QString kSocketName = QStringLiteral("hid.socket");
// A line longer than this is no command; the connection that sends it is dropped.
constexpr qsizetype kMaxLineLength = 512;

HidCookie cookieFor(int page, int usage)
{
    return static_cast<HidCookie>(page) << 16 | static_cast<HidCookie>(usage);
}

std::vector<HidElement> pageElements(int page, int count)
{
    std::vector<HidElement> elements;
    elements.reserve(count);
    for (int usage = 0; usage < count; ++usage)
        elements.push_back(HidElement{cookieFor(page, usage), page, usage, HidElementType::Button});
    return elements;
}

std::optional<int> parseNumber(const QString &text)
{
    bool ok = false;
    const int value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                                                                                : text.toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

SimulatedHidBackend::SimulatedHidBackend(const QString &root, UsageResolver resolver, QObject *parent)
    : QObject(parent)
    , m_root(root)
    , m_resolver(std::move(resolver))
{
    m_poll.setInterval(kPollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, [this] { refresh(); });
}

SimulatedHidBackend::~SimulatedHidBackend()
{
    if (m_server) {
        m_server->close();
        delete m_server;
    }
}

QString SimulatedHidBackend::socketPath(const QString &root)
{
    return QDir(root).filePath(kSocketName);
}

bool SimulatedHidBackend::armWatching()
{
    refresh();
    m_poll.start();
    return true;
}

bool SimulatedHidBackend::isPlugged() const
{
    return QFileInfo(QDir(m_root).filePath(volumelayout::VolumeFolder)).isDir();
}

void SimulatedHidBackend::refresh()
{
    if (!m_server || !m_server->isListening())
        listen();
    const bool plugged = isPlugged();
    if (plugged && m_standardEntry == 0) {
        m_standardEntry = registerInterface({matchedVendorId(), matchedProductId(), 6},
                                            pageElements(kKeyboardPage, kKeyboardUsages));
        m_multimediaEntry = registerInterface({matchedVendorId(), matchedProductId(), 1},
                                              pageElements(kConsumerPage, kConsumerUsages));
        announceInterface(m_standardEntry);
        announceInterface(m_multimediaEntry);
    } else if (!plugged && m_standardEntry != 0) {
        const HidEntry standard = std::exchange(m_standardEntry, 0);
        const HidEntry multimedia = std::exchange(m_multimediaEntry, 0);
        detachInterface(multimedia);
        detachInterface(standard);
    }
}

void SimulatedHidBackend::listen()
{
    if (!QFileInfo(m_root).isDir())
        return;
    if (!m_server) {
        m_server = new QLocalServer(this);
        // Only the user's own processes may press keys.
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] { acceptConnections(); });
    }
    const QString path = socketPath(m_root);
    // A socket file left by a driver that died is in the way; this driver is the only one running.
    if (QFileInfo(path).exists() && !QFileInfo(path).isDir())
        QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        if (!m_listenFailureLogged)
            qCWarning(lcHidBackend).noquote()
                << "Simulated keyboard: cannot listen on" << path << "-" << m_server->errorString();
        m_listenFailureLogged = true;
    }
}

void SimulatedHidBackend::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLines(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readLines(socket);
    }
}

void SimulatedHidBackend::readLines(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxLineLength + 1);
        if (!line.endsWith('\n')) {
            socket->abort();
            return;
        }
        const QString answer = handleLine(QString::fromUtf8(line).trimmed());
        socket->write(answer.toUtf8() + '\n');
    }
    if (socket->bytesAvailable() > kMaxLineLength)
        socket->abort();
}

QString SimulatedHidBackend::handleLine(const QString &line)
{
    static const QRegularExpression form(QStringLiteral("^(down|up)\\s+(\\S.*)$"));
    static const QRegularExpression usageForm(QStringLiteral("^(\\d+):(0[xX][0-9a-fA-F]+|\\d+)$"));
    const QRegularExpressionMatch match = form.match(line);
    if (!match.hasMatch())
        return QStringLiteral("error expected \"down KEY\" or \"up KEY\"");
    const bool down = match.captured(1) == QLatin1String("down");
    const QString key = match.captured(2).trimmed();

    // Seeing the folder now lets a tool create it and press a key at once.
    refresh();
    if (m_standardEntry == 0)
        return QStringLiteral("error the simulated keyboard is unplugged (no %1 in %2)")
            .arg(volumelayout::VolumeFolder, m_root);

    std::optional<std::pair<int, int>> usage;
    if (const QRegularExpressionMatch numbers = usageForm.match(key); numbers.hasMatch()) {
        const auto page = parseNumber(numbers.captured(1));
        const auto value = parseNumber(numbers.captured(2));
        if (page && value)
            usage = std::make_pair(*page, *value);
    } else if (m_resolver) {
        usage = m_resolver(key);
    }
    if (!usage)
        return QStringLiteral("error unknown key %1").arg(key);
    const auto [page, value] = *usage;
    const bool standard = page == kKeyboardPage && value >= 0 && value < kKeyboardUsages;
    const bool consumer = page == kConsumerPage && value >= 0 && value < kConsumerUsages;
    if (!standard && !consumer)
        return QStringLiteral("error the keyboard has no usage %1:0x%2").arg(page).arg(value, 0, 16);
    reportValues(standard ? m_standardEntry : m_multimediaEntry,
                 {HidQueuedValue{cookieFor(page, value), HidElementType::Button, down ? 1 : 0}});
    return QStringLiteral("ok");
}

std::optional<QString> SimulatedHidBackend::sendLine(const QString &root, const QString &line, QString *error,
                                                     int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath(root));
    if (!socket.waitForConnected(timeoutMs)) {
        if (error)
            *error = QStringLiteral("no driver is listening on %1 (%2)")
                         .arg(socketPath(root), socket.errorString());
        return std::nullopt;
    }
    socket.write(line.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) {
        if (error)
            *error = socket.errorString();
        return std::nullopt;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            if (error)
                *error = QStringLiteral("the driver did not answer");
            return std::nullopt;
        }
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

} // namespace brevona
