#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>

#include "AppLogging.h"

namespace brevona {

namespace {

constexpr int HandOverTimeoutMs = 10000;
const QString ObjectPath = QStringLiteral("/");

} // namespace

SingleInstance::SingleInstance(const QString &busAddress, QObject *parent)
    : QObject(parent)
    , m_connectionName(QStringLiteral("brevona-single-instance-%1").arg(quintptr(this), 0, 16))
{
    if (busAddress.isEmpty())
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    else
        QDBusConnection::connectToBus(busAddress, m_connectionName);
}

SingleInstance::~SingleInstance()
{
    QDBusConnection bus(m_connectionName);
    if (m_owner) {
        bus.unregisterObject(ObjectPath);
        bus.unregisterService(ServiceName);
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
}

SingleInstance::Role SingleInstance::claim(const QStringList &files)
{
    QDBusConnection bus(m_connectionName);
    if (!bus.isConnected()) {
        qCWarning(lcApp).noquote() << "No session bus; running without the single-instance rule:"
                                   << bus.lastError().message();
        return Role::NoBus;
    }
    if (bus.registerObject(ObjectPath, this, QDBusConnection::ExportScriptableSlots)) {
        const auto reply =
            bus.interface()->registerService(ServiceName, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_owner = true;
            return Role::First;
        }
        bus.unregisterObject(ObjectPath);
    }
    QStringList absolute;
    for (const QString &file : files)
        absolute << QFileInfo(file).absoluteFilePath();
    QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName, ObjectPath, ServiceName, QStringLiteral("open"));
    call << absolute;
    const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, HandOverTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // The owner is stuck or just went away: better a second window than a lost file.
        qCWarning(lcApp).noquote() << "The running configurator did not take the files:"
                                   << reply.errorMessage();
        return Role::NoBus;
    }
    return Role::HandedOver;
}

void SingleInstance::open(const QStringList &files)
{
    if (!files.isEmpty())
        Q_EMIT filesReceived(files);
    Q_EMIT raiseRequested();
}

} // namespace brevona
