#include "KDServer.h"

#include <cstdio>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "CommandNames.h"
#include "CoreLogging.h"
#include "DBusPlist.h"
#include "KDServerAdaptor.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

namespace {

QtMessageHandler g_previousHandler = nullptr;

// QtDBus warns about every empty signature it reads, and the empty signature is how the null
// marker travels: every command carrying one would add a false alarm to the log.
void dropNullMarkerNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message == QLatin1String("QDBusSignature: invalid signature \"\""))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fputs(qPrintable(qFormatLogMessage(type, context, message) + QLatin1Char('\n')), stderr);
}

} // namespace

KDServer::KDServer(QObject *parent)
    : QObject(parent)
{
    new KDServerAdaptor(this);
    static const bool filtered = [] {
        g_previousHandler = qInstallMessageHandler(dropNullMarkerNoise);
        return true;
    }();
    (void)filtered;
}

bool KDServer::registerService()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcCore).noquote() << "No session bus:" << bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(commands::ServerPath, this))
        return false;
    // No queueing: when another process holds the name, this one must not wait for it.
    if (!bus.registerService(commands::ServiceName)) {
        qCWarning(lcCore).noquote() << "Service name is taken:" << commands::ServiceName;
        bus.unregisterObject(commands::ServerPath);
        return false;
    }
    qCInfo(lcCore).noquote() << "Server started";
    return true;
}

void KDServer::notify(const QString &name, const QVariantMap &info)
{
    QString error;
    const auto decoded = DBusPlist::fromDBus(info, &error);
    if (!decoded) {
        qCWarning(lcCore).noquote() << "Command" << name << "dropped: its info holds" << error;
        return;
    }
    handleCommand(name, *decoded, !decoded->isEmpty());
}

void KDServer::handleCommand(const QString &name, const QVariantMap &info, bool hasInfo)
{
    qCDebug(lcCore).noquote() << "Command" << name;
    if (name == commands::Terminate) {
        if (m_terminate)
            m_terminate();
        return;
    }
    auto &center = NotificationCenter::defaultCenter();
    Notification command(notifications::configuratorSaid(name), QVariant(), hasInfo ? info : QVariantMap(),
                         hasInfo);
    if (!center.post(command))
        return;
    center.post(notifications::SomeConditionHaveTriggered);
}

} // namespace brevona
