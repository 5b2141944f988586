#include "DriverLink.h"

#include <atomic>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QTimer>

#include "CommandNames.h"
#include "DBusPlist.h"
#include "Logging.h"
#include "NotificationNames.h"

namespace brevona {

namespace {

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("brevona-driver-link-%1").arg(++counter);
}

} // namespace

DriverLink::DriverLink(const QString &busAddress, QObject *parent)
    : QObject(parent)
    , m_busAddress(busAddress)
    , m_connectionName(nextConnectionName())
{
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer, &QTimer::timeout, this, [this] { setupDriverConnection(); });
    ensureBus();
}

DriverLink::~DriverLink()
{
    closeBus();
}

bool DriverLink::ensureBus()
{
    if (isBusConnected())
        return true;
    closeBus();
    QDBusConnection bus = m_busAddress.isEmpty()
                              ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName)
                              : QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    if (!bus.isConnected()) {
        m_lastError = bus.lastError().message();
        qCWarning(lcShared).noquote() << "No bus for the driver link:" << m_lastError;
        QDBusConnection::disconnectFromBus(m_connectionName);
        return false;
    }
    m_busOpen = true;
    m_lastError.clear();
    bus.connect(QString(), commands::ServerPath, commands::NotificationsInterface,
                notifications::DriverLaunched, this, SLOT(driverLaunched()));
    bus.connect(QString(), commands::ServerPath, commands::NotificationsInterface,
                notifications::DriverTerminated, this, SLOT(driverClosed()));
    m_watcher =
        new QDBusServiceWatcher(commands::ServiceName, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &DriverLink::driverOwnerChanged);
    return true;
}

bool DriverLink::isBusConnected() const
{
    return m_busOpen && QDBusConnection(m_connectionName).isConnected();
}

void DriverLink::closeBus()
{
    delete m_watcher;
    m_watcher = nullptr;
    if (m_busOpen) {
        QDBusConnection bus(m_connectionName);
        bus.disconnect(QString(), commands::ServerPath, commands::NotificationsInterface,
                       notifications::DriverLaunched, this, SLOT(driverLaunched()));
        bus.disconnect(QString(), commands::ServerPath, commands::NotificationsInterface,
                       notifications::DriverTerminated, this, SLOT(driverClosed()));
        QDBusConnection::disconnectFromBus(m_connectionName);
        m_busOpen = false;
    }
}

void DriverLink::setDriver(const QString &address)
{
    if (address == m_driver)
        return;
    const bool was = isConnected();
    m_driver = address;
    if (was != isConnected())
        Q_EMIT connectionChanged(isConnected());
}

bool DriverLink::setupDriverConnection()
{
    if (!ensureBus()) {
        setDriver(QString());
        return false;
    }
    QDBusConnectionInterface *bus = QDBusConnection(m_connectionName).interface();
    if (!bus) {
        setDriver(QString());
        return false;
    }
    const QDBusReply<QString> owner = bus->serviceOwner(commands::ServiceName);
    if (!owner.isValid() || owner.value().isEmpty()) {
        setDriver(QString());
        return false;
    }
    if (owner.value() != m_driver)
        qCInfo(lcShared).noquote() << "connected to driver:" << owner.value();
    setDriver(owner.value());
    return true;
}

DriverLink::SendResult DriverLink::notifyDriverForCommand(const QString &command, const QVariantMap &info)
{
    if (!isConnected())
        return SendResult::NoDriver;
    QString error;
    const auto wire = DBusPlist::toDBus(info, &error);
    if (!wire) {
        m_lastError = error;
        qCWarning(lcShared).noquote() << "Command" << command << "not sent: its info holds" << error;
        return SendResult::Rejected;
    }
    m_lastError.clear();
    QDBusMessage message = QDBusMessage::createMethodCall(
        m_driver, commands::ServerPath, commands::ServerInterface, QStringLiteral("notify"));
    message.setAutoStartService(false);
    message << command << *wire;
    // A connection that broke swallows what is sent on it, so its state is the failure to look
    // for; send() itself fails only when the message cannot be queued. send() marks a method call
    // as expecting no reply and returns at once.
    if (isBusConnected() && QDBusConnection(m_connectionName).send(message))
        return SendResult::Sent;
    setDriver(QString());
    setupDriverConnection();
    return SendResult::Failed;
}

bool DriverLink::flush(int timeoutMs)
{
    if (!m_busOpen)
        return false;
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    const QDBusMessage reply = QDBusConnection(m_connectionName).call(ping, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void DriverLink::driverLaunched()
{
    // The new driver registers its endpoint after the announcement has gone out.
    m_reconnectTimer->start(m_reconnectDelayMs);
}

void DriverLink::driverClosed()
{
    setDriver(QString());
}

void DriverLink::driverOwnerChanged(const QString &, const QString &oldOwner, const QString &newOwner)
{
    if (isConnected() && oldOwner == m_driver)
        setDriver(QString());
    // The driver registers its endpoint before it takes the name, so a new owner can be addressed
    // at once, without waiting for its announcement.
    if (!isConnected() && !newOwner.isEmpty())
        setupDriverConnection();
}

void DriverLink::sendCommand(const QString &command, const QVariantMap &info)
{
    notifyDriverForCommand(command, info);
}

} // namespace brevona
