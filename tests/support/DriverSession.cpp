#include "DriverSession.h"

#include <algorithm>
#include <cstdlib>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QObject>

#include "CommandNames.h"
#include "KeyboardData.h"
#include "NotificationNames.h"
#include "NullMarker.h"
#include "PropertyList.h"
#include "Rgb565Codec.h"
#include "Wait.h"

namespace brevona::test {

// Counts the driver's announcements on the session's bus.
class AnnouncementCounter : public QObject
{
    Q_OBJECT
public:
    explicit AnnouncementCounter(QDBusConnection bus)
    {
        for (const QString &name : {notifications::DriverLaunched, notifications::DriverTerminated})
            bus.connect(QString(), commands::ServerPath, commands::NotificationsInterface, name, this,
                        SLOT(count(QDBusMessage)));
    }
    QHash<QString, int> seen;

public Q_SLOTS:
    void count(const QDBusMessage &message) { ++seen[message.member()]; }
};

namespace {

int g_sessions = 0;

// brevona-send's spelling of the null marker, since a property list has none.
QVariant sendable(const QVariant &value)
{
    if (isNullMarker(value))
        return QVariantMap{{QStringLiteral("$null"), true}};
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            *it = sendable(*it);
        return map;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &element : list)
            element = sendable(element);
        return list;
    }
    return value;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

DriverSession::DriverSession()
    : DriverSession(Options{})
{}

DriverSession::DriverSession(Options options)
    : m_options(std::move(options))
    , m_store(QDir(m_home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")))
    , m_volume(QDir(m_home.path()).filePath(QStringLiteral("keyboard")))
{
    if (!m_home.isValid()) {
        m_error = QStringLiteral("no temporary home");
        return;
    }
    const QString plugins =
        m_options.plugins.isEmpty() ? m_home.path() + QStringLiteral("/no-plugins") : m_options.plugins;
    m_home.setEnvironment("BREVONA_RESOURCE_DIR", QStringLiteral(BREVONA_BUILD_RESOURCES));
    m_home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", plugins);
    m_home.setEnvironment("BREVONA_SIMULATED_KEYBOARD", m_volume.root());
    m_home.setEnvironment("QT_QPA_PLATFORM", QStringLiteral("offscreen"));
    m_home.setEnvironment("DISPLAY",
                          m_options.display.isEmpty() ? std::nullopt : std::optional(m_options.display));
    m_home.setEnvironment("WAYLAND_DISPLAY", std::nullopt);
    m_home.setEnvironment("XDG_SESSION_TYPE", std::nullopt);
    if (m_options.privateBus && !startBus())
        return;
    m_announcements = std::make_unique<AnnouncementCounter>(bus());
    if (m_options.keepLog) {
        m_driver.setProcessChannelMode(QProcess::MergedChannels);
    } else {
        m_driver.setStandardOutputFile(QProcess::nullDevice());
        m_driver.setStandardErrorFile(QProcess::nullDevice());
    }
}

DriverSession::~DriverSession()
{
    stop(m_driver);
    m_announcements.reset();
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    stop(m_bus);
}

bool DriverSession::startBus()
{
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!m_bus.waitForStarted(5000) ||
        !waitUntil([&] { return m_bus.canReadLine() || m_bus.state() == QProcess::NotRunning; })) {
        m_error = QStringLiteral("dbus-daemon did not start");
        return false;
    }
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    m_connectionName = QStringLiteral("brevona-driver-session-%1").arg(++g_sessions);
    if (!QDBusConnection::connectToBus(m_busAddress, m_connectionName).isConnected()) {
        m_error = QStringLiteral("no connection to the session's bus");
        return false;
    }
    m_home.setEnvironment("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    return true;
}

QDBusConnection DriverSession::bus() const
{
    return m_connectionName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_connectionName);
}

bool DriverSession::launch()
{
    if (!m_error.isEmpty())
        return false;
    if (!m_volume.create(QByteArray())) {
        m_error = QStringLiteral("cannot create the simulated keyboard");
        return false;
    }
    m_driver.start(QStringLiteral(BREVONA_DRIVER_EXECUTABLE), m_options.arguments);
    if (!m_driver.waitForStarted(5000)) {
        m_error = QStringLiteral("the driver did not start: ") + m_driver.errorString();
        return false;
    }
    return true;
}

bool DriverSession::start()
{
    if (!launch())
        return false;
    const bool serving =
        m_options.keepLog
            // The second layout write follows the first composition's pictures on the writer's queue.
            ? waitForLog(QStringLiteral("Server started")) &&
                  waitForLog(QStringLiteral("Wrote vLumivox/layout.sys"), 2)
            : waitUntil([&] { return bus().interface()->isServiceRegistered(commands::ServiceName).value(); },
                        std::chrono::seconds(20));
    if (!serving)
        m_error = QStringLiteral("the driver did not come up:\n") + log();
    return serving;
}

bool DriverSession::terminate()
{
    if (m_driver.state() != QProcess::NotRunning && !gdbus(commands::Terminate))
        return false;
    return waitForExit();
}

bool DriverSession::waitForExit(std::chrono::milliseconds timeout)
{
    const bool ended = waitUntil([&] { return m_driver.state() == QProcess::NotRunning; }, timeout);
    log();
    return ended;
}

QString DriverSession::log()
{
    if (m_options.keepLog) {
        // Output sits in the pipe until someone reads it; take in whatever is there by now.
        while (m_driver.state() == QProcess::Running && m_driver.waitForReadyRead(0)) {
        }
        m_log += QString::fromUtf8(m_driver.readAll());
    }
    return m_log;
}

int DriverSession::logCount(const QString &text)
{
    return static_cast<int>(log().count(text));
}

bool DriverSession::waitForLog(const QString &text, int times, std::chrono::milliseconds timeout)
{
    return waitUntil([&] { return logCount(text) >= times || m_driver.state() == QProcess::NotRunning; },
                     timeout) &&
           logCount(text) >= times;
}

QStringList DriverSession::composition()
{
    const QString text = log();
    const QString marker = QStringLiteral("Composition:");
    const qsizetype at = text.lastIndexOf(marker);
    if (at < 0)
        return {};
    const qsizetype end = text.indexOf(QLatin1Char('\n'), at);
    return text.mid(at + marker.size(), end < 0 ? -1 : end - at - marker.size())
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

qint64 DriverSession::residentKilobytes() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_driver.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

QString DriverSession::run(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess client;
    client.start(program, arguments);
    if (!client.waitForStarted(10000))
        return program + QStringLiteral(" did not start");
    client.write(input);
    client.closeWriteChannel();
    if (!client.waitForFinished(20000) || client.exitStatus() != QProcess::NormalExit ||
        client.exitCode() != 0)
        return program + QStringLiteral(" failed: ") + QString::fromUtf8(client.readAllStandardError());
    return {};
}

bool DriverSession::send(const QString &command, const std::optional<QVariantMap> &info)
{
    const int before = commandCount(command);
    QStringList arguments{command};
    QByteArray input;
    if (info) {
        const auto xml = PropertyList::toData(sendable(*info));
        if (!xml)
            return false;
        input = *xml;
        arguments.append(QStringLiteral("-"));
    }
    m_error = run(QStringLiteral(BREVONA_SEND_EXECUTABLE), arguments, input);
    return m_error.isEmpty() && waitForCommand(command, before);
}

bool DriverSession::gdbus(const QString &command, const QString &infoText)
{
    const int before = commandCount(command);
    m_error = run(QStringLiteral("gdbus"),
                  {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                   commands::ServiceName, QStringLiteral("--object-path"), commands::ServerPath,
                   QStringLiteral("--method"), commands::ServerInterface + QStringLiteral(".notify"), command,
                   infoText});
    // The driver logs no command line for "Terminate", and none at all without a log to read.
    return m_error.isEmpty() &&
           (command == commands::Terminate || !m_options.keepLog || waitForCommand(command, before));
}

bool DriverSession::signal(const QString &member, const QStringList &arguments)
{
    m_error =
        run(QStringLiteral("dbus-send"),
            QStringList{QStringLiteral("--session"), QStringLiteral("--type=signal"), commands::ServerPath,
                        commands::NotificationsInterface + QLatin1Char('.') + member} +
                arguments);
    return m_error.isEmpty();
}

bool DriverSession::waitForCommand(const QString &command, int before)
{
    return waitForLog(QStringLiteral("Command %1").arg(command), before + 1);
}

int DriverSession::announcements(const QString &name) const
{
    return m_announcements ? m_announcements->seen.value(name) : 0;
}

std::optional<QImage> DriverSession::display(int n) const
{
    const auto bytes = m_volume.readDisplay(n);
    if (!bytes)
        return std::nullopt;
    return Rgb565Codec::decode(*bytes, KeyboardData::isTurnedDisplay(n));
}

std::optional<Quarters> DriverSession::quarters(const QString &key) const
{
    const int n = displayOf(key);
    const auto picture = n > 0 ? display(n) : std::nullopt;
    if (!picture)
        return std::nullopt;
    const QPoint centres[] = {{12, 12}, {36, 12}, {12, 36}, {36, 36}};
    Quarters result;
    for (int i = 0; i < 4; ++i)
        result[i] = QColor(picture->pixel(centres[i]));
    return result;
}

bool DriverSession::waitForColour(const QString &key, const QColor &colour,
                                  std::chrono::milliseconds timeout) const
{
    return waitUntil(
        [&] {
            const auto shown = quarters(key);
            return shown && std::all_of(shown->cbegin(), shown->cend(),
                                        [&](const QColor &quarter) { return sameColour(quarter, colour); });
        },
        timeout);
}

int DriverSession::displayOf(const QString &key)
{
    const KeyboardData::Key *found = KeyboardData::shared().key(key);
    return found ? found->display : 0;
}

QString DriverSession::describe(const Quarters &quarters)
{
    QStringList names;
    for (const QColor &colour : quarters)
        names.append(colour.name());
    return names.join(QLatin1Char(' '));
}

bool DriverSession::sameColour(const QColor &a, const QColor &b)
{
    // The displays keep 5 bits of red and blue and 6 of green.
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
           std::abs(a.blue() - b.blue()) <= 8;
}

} // namespace brevona::test

#include "DriverSession.moc"
