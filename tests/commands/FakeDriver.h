#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include "CommandNames.h"
#include "DBusPlist.h"
#include "NotificationNames.h"
#include "Wait.h"

namespace brevona::test {

// Stands in for the driver's command endpoint on a bus of its own connection: it owns the
// service name, records every command and makes the driver's announcements.
class FakeDriver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kettlewood.Brevona.Server")
public:
    struct Received
    {
        QString name;
        QVariantMap info;
        bool replyRequired = true;
    };

    // `busAddress` empty: the session bus.
    explicit FakeDriver(const QString &connectionName, const QString &busAddress = QString())
        : m_connectionName(connectionName)
    {
        QDBusConnection bus = busAddress.isEmpty()
                                  ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)
                                  : QDBusConnection::connectToBus(busAddress, connectionName);
        m_connected = bus.isConnected() &&
                      bus.registerObject(commands::ServerPath, this, QDBusConnection::ExportAllSlots);
    }
    ~FakeDriver() override { QDBusConnection::disconnectFromBus(m_connectionName); }

    bool isConnected() const { return m_connected; }
    QDBusConnection bus() const { return QDBusConnection(m_connectionName); }
    bool own() { return bus().registerService(commands::ServiceName); }
    bool release() { return bus().unregisterService(commands::ServiceName); }
    bool announce(const QString &name)
    {
        return bus().send(
            QDBusMessage::createSignal(commands::ServerPath, commands::NotificationsInterface, name));
    }

    const QList<Received> &received() const { return m_received; }
    bool waitForCommands(int count)
    {
        return waitUntil([&] { return m_received.size() >= count; });
    }

public Q_SLOTS:
    void notify(const QString &name, const QVariantMap &info, const QDBusMessage &message)
    {
        m_received.append(
            {name, DBusPlist::fromDBus(info).value_or(QVariantMap{{QStringLiteral("<undecodable>"), true}}),
             message.isReplyRequired()});
    }

private:
    QString m_connectionName;
    bool m_connected = false;
    QList<Received> m_received;
};

} // namespace brevona::test
