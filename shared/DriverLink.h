#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include "DriverCommandSink.h"

class QDBusServiceWatcher;
class QTimer;

namespace brevona {

// The sending end of the driver's command endpoint, as the configurator uses it: every command
// goes one way through notifyDriverForCommand() and nobody ever waits for the driver.
//
// - Connected means a driver owned the service name when it was last looked up; the link then
//   addresses that very process. Without a connection a command is dropped, since the driver
//   reads the whole layer store when it starts.
// - A send that fails (the bus connection broke) drops the connection and looks the driver up
//   again once, at once; the failed command is not repeated.
// - "BrevonaDriverLaunched" makes the link look the driver up again after reconnectDelay();
//   "BrevonaDriverTerminated", or the driver's name losing its owner, drops the connection; the
//   name gaining an owner connects at once.
class DriverLink : public QObject, public DriverCommandSink
{
    Q_OBJECT
public:
    enum class SendResult
    {
        Sent,     // handed to the bus, addressed to the connected driver
        NoDriver, // dropped: not connected
        Rejected, // dropped: the info holds something that cannot travel (logged)
        Failed,   // the send failed; the connection was dropped and looked up again once
    };

    // `busAddress` empty: the session bus.
    explicit DriverLink(const QString &busAddress = QString(), QObject *parent = nullptr);
    ~DriverLink() override;

    // Looks the driver up by its service name; true when one owns it. Logs
    // "connected to driver: <owner>" when it connects.
    bool setupDriverConnection();
    bool isConnected() const { return !m_driver.isEmpty(); }
    // The unique bus name of the connected driver; empty when not connected.
    QString driverAddress() const { return m_driver; }
    // Whether the link's own bus connection is up (a broken one is reopened at the next lookup).
    bool isBusConnected() const;
    // Why the last send was rejected or the bus could not be reached; empty otherwise.
    const QString &lastError() const { return m_lastError; }

    // Sends one command. `info` empty means no info. Never waits for the driver.
    SendResult notifyDriverForCommand(const QString &command, const QVariantMap &info = QVariantMap());
    // DriverCommandSink: notifyDriverForCommand without the result.
    void sendCommand(const QString &command, const QVariantMap &info) override;

    // For a program that exits right after sending: waits (up to `timeoutMs`) until the bus has
    // taken every message sent so far. This is a round trip to the bus, not to the driver.
    bool flush(int timeoutMs = 5000);

    int reconnectDelay() const { return m_reconnectDelayMs; }
    void setReconnectDelay(int milliseconds) { m_reconnectDelayMs = milliseconds; }

Q_SIGNALS:
    void connectionChanged(bool connected);

private Q_SLOTS:
    void driverLaunched();
    void driverClosed();
    void driverOwnerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);

private:
    // Opens (or reopens, when it broke) this link's own bus connection; false when it cannot.
    bool ensureBus();
    void closeBus();
    void setDriver(const QString &address);

    QString m_busAddress;
    QString m_connectionName;
    bool m_busOpen = false;
    QString m_driver;
    QString m_lastError;
    int m_reconnectDelayMs = 2000;
    QTimer *m_reconnectTimer = nullptr;
    QDBusServiceWatcher *m_watcher = nullptr;
};

} // namespace brevona
