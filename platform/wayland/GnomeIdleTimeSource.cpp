#include "GnomeIdleTimeSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

#include "WaylandBackends.h"

namespace brevona {

namespace {

constexpr int kCallTimeoutMs = 1000;

} // namespace

GnomeIdleTimeSource::GnomeIdleTimeSource(QString busName)
    : m_busName(std::move(busName))
{}

std::optional<quint64> GnomeIdleTimeSource::idleNanoseconds()
{
    const QDBusConnection bus =
        m_busName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_busName);
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
        QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("GetIdletime"));
    const QDBusReply<quint64> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        if (!m_failureLogged)
            qCWarning(lcWayland).noquote()
                << "Mutter's idle monitor does not answer (" + reply.error().message() +
                       "); idle time reads as 0 (the user always counts as active)";
        m_failureLogged = true;
        return std::nullopt;
    }
    m_failureLogged = false;
    return reply.value() * 1'000'000ULL;
}

} // namespace brevona
