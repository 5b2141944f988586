#include "PluginToggleListener.h"

#include <QDBusConnection>

#include "CommandNames.h"
#include "KCLayerManager.h"
#include "NotificationNames.h"
#include "StoreLogging.h"

namespace brevona {

PluginToggleListener::PluginToggleListener(KCLayerManager &manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_listening = bus.isConnected() &&
                  bus.connect(QString(), commands::ServerPath, commands::NotificationsInterface,
                              notifications::ToggleLayerAction, this, SLOT(toggleRequested(QString)));
    if (!m_listening)
        qCWarning(lcStore, "Plugins' layer toggles are not heard: no session bus");
}

PluginToggleListener::~PluginToggleListener()
{
    if (m_listening)
        QDBusConnection::sessionBus().disconnect(
            QString(), commands::ServerPath, commands::NotificationsInterface,
            notifications::ToggleLayerAction, this, SLOT(toggleRequested(QString)));
}

void PluginToggleListener::toggleRequested(const QString &identifier)
{
    if (m_manager.pluginToggleLayerVisibility(identifier) == KCLayerManager::Outcome::Done)
        Q_EMIT toggled(identifier);
}

} // namespace brevona
