#include "LogindSession.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "VolumeMonitor.h"

namespace brevona {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kUserInterface = QStringLiteral("org.freedesktop.login1.User");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Start-up must not wait for a bus that is slow to answer.
constexpr int kCallTimeoutMs = 2000;

QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                  const QVariantList &args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    return QDBusConnection::systemBus().call(message, QDBus::Block, kCallTimeoutMs);
}

QVariant readProperty(const QString &path, const QString &interface, const QString &name)
{
    const QDBusMessage reply = call(path, kPropertiesInterface, QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

QString objectPathOf(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusObjectPath>().path();
}

} // namespace

LogindSession::LogindSession(QObject *parent)
    : QObject(parent)
{
    if (!QDBusConnection::systemBus().isConnected()) {
        qCInfo(lcVolumes) << "No system bus: desktop switches are not followed, the desktop counts as active";
        return;
    }
    m_sessionPath = findSessionPath();
    if (m_sessionPath.isEmpty()) {
        qCInfo(lcVolumes) << "No logind session found: desktop switches are not followed, the desktop counts "
                             "as active";
        return;
    }
    QDBusConnection::systemBus().connect(kService, m_sessionPath, kPropertiesInterface,
                                         QStringLiteral("PropertiesChanged"), this,
                                         SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    m_active = readActive();
}

QString LogindSession::findSessionPath() const
{
    // The driver may run inside the graphical session or, started as a user service, outside it;
    // then the user's display session is the one whose switches matter.
    QString path = objectPathOf(
        call(kManagerPath, kManagerInterface, QStringLiteral("GetSessionByPID"), {quint32(::getpid())}));
    if (!path.isEmpty())
        return path;
    const QString user =
        objectPathOf(call(kManagerPath, kManagerInterface, QStringLiteral("GetUser"), {quint32(::getuid())}));
    if (user.isEmpty())
        return {};
    const QVariant display = readProperty(user, kUserInterface, QStringLiteral("Display"));
    if (!display.canConvert<QDBusArgument>())
        return {};
    // "Display" is a (session id, object path) pair; an empty id means the user has none.
    const QDBusArgument argument = display.value<QDBusArgument>();
    QString id;
    QDBusObjectPath sessionPath;
    argument.beginStructure();
    argument >> id >> sessionPath;
    argument.endStructure();
    return id.isEmpty() ? QString() : sessionPath.path();
}

bool LogindSession::readActive() const
{
    const QVariant active = readProperty(m_sessionPath, kSessionInterface, QStringLiteral("Active"));
    return active.isValid() ? active.toBool() : true;
}

void LogindSession::onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                        const QStringList &invalidated)
{
    if (interface != kSessionInterface)
        return;
    const auto it = changed.constFind(QStringLiteral("Active"));
    if (it != changed.constEnd())
        setActive(it->toBool());
    else if (invalidated.contains(QStringLiteral("Active")))
        setActive(readActive());
}

void LogindSession::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    Q_EMIT activeChanged(active);
}

} // namespace brevona
