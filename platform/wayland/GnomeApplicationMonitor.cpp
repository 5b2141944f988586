#include "GnomeApplicationMonitor.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include "WaylandBackends.h"

namespace brevona {

namespace {

constexpr int kCallTimeoutMs = 2000;

} // namespace

GnomeApplicationMonitor::GnomeApplicationMonitor(QStringList applicationFolders, QObject *parent)
    : WaylandApplicationMonitor(std::move(applicationFolders), parent)
{
    m_watcher = new QDBusServiceWatcher(QLatin1String(Service), QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                if (owner.isEmpty())
                    compositorLost();
                else
                    readWindows();
            });
}

GnomeApplicationMonitor::~GnomeApplicationMonitor() = default;

bool GnomeApplicationMonitor::connectToCompositor()
{
    if (!m_subscribed) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString service = QLatin1String(Service), path = QLatin1String(ObjectPath),
                      interface = QLatin1String(Interface);
        m_subscribed = bus.connect(service, path, interface, QStringLiteral("WindowOpened"), this,
                                   SLOT(onWindowOpened(QString, QString, QString, int))) &&
                       bus.connect(service, path, interface, QStringLiteral("WindowClosed"), this,
                                   SLOT(onWindowClosed(QString))) &&
                       bus.connect(service, path, interface, QStringLiteral("FocusChanged"), this,
                                   SLOT(onFocusChanged(QString)));
    }
    return m_subscribed && readWindows();
}

bool GnomeApplicationMonitor::readWindows()
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(ObjectPath),
                                       QLatin1String(Interface), QStringLiteral("GetWindows"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2 ||
        reply.signature() != QLatin1String("a(sssi)s")) {
        if (!m_failureLogged)
            qCWarning(lcWayland).noquote()
                << QStringLiteral(
                       "GNOME Shell's Brevona extension does not answer (%1); running and foreground"
                       " applications are not available until it is enabled")
                       .arg(reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage()
                                                                       : QStringLiteral("unexpected reply"));
        m_failureLogged = true;
        return false;
    }
    m_failureLogged = false;
    QList<Window> windows;
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString id, appId, wmClass;
        int pid = 0;
        list.beginStructure();
        list >> id >> appId >> wmClass >> pid;
        list.endStructure();
        windows.append({id, identityOf(appId, wmClass, QString(), pid)});
    }
    list.endArray();
    replaceWindows(windows, reply.arguments().at(1).toString());
    return true;
}

void GnomeApplicationMonitor::onWindowOpened(const QString &id, const QString &appId, const QString &wmClass,
                                             int pid)
{
    windowOpened({id, identityOf(appId, wmClass, QString(), pid)});
}

void GnomeApplicationMonitor::onWindowClosed(const QString &id)
{
    windowClosed(id);
}

void GnomeApplicationMonitor::onFocusChanged(const QString &id)
{
    windowFocused(id);
}

} // namespace brevona
