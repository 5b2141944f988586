#pragma once

#include <tuple>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

namespace brevona::test {

// A desktop service's stand-in on the session bus (Plasma's keyboard daemon, KWin, GNOME Shell's
// extension, Mutter's idle monitor): on a connection of its own, it exports its slots at `path`
// and owns `service` from own() on. Made in a StandInThread, so that it answers while the backend
// under test waits for it.
class BusStandIn : public QObject
{
public:
    // A structure of `Fields` on the bus, as the services' lists hold them: a(sss), a(sssi).
    template<typename... Fields> struct Structure : std::tuple<Fields...>
    {
        using std::tuple<Fields...>::tuple;

        friend QDBusArgument &operator<<(QDBusArgument &argument, const Structure &structure)
        {
            argument.beginStructure();
            std::apply([&](const auto &...field) { (argument << ... << field); },
                       static_cast<const std::tuple<Fields...> &>(structure));
            argument.endStructure();
            return argument;
        }
        friend const QDBusArgument &operator>>(const QDBusArgument &argument, Structure &structure)
        {
            argument.beginStructure();
            std::apply([&](auto &...field) { (argument >> ... >> field); },
                       static_cast<std::tuple<Fields...> &>(structure));
            argument.endStructure();
            return argument;
        }
    };

    BusStandIn(const QString &service, const QString &path, const QString &interface)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, service))
        , m_service(service)
        , m_path(path)
        , m_interface(interface)
    {}
    ~BusStandIn() override
    {
        release();
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    void own()
    {
        m_bus.registerObject(m_path, this, QDBusConnection::ExportAllSlots);
        m_bus.registerService(m_service);
    }
    void release() { m_bus.unregisterService(m_service); }
    void emitSignal(const QString &name, const QVariantList &arguments = {})
    {
        QDBusMessage signal = QDBusMessage::createSignal(m_path, m_interface, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }
    QDBusConnection &bus() { return m_bus; }

private:
    QDBusConnection m_bus;
    QString m_service, m_path, m_interface;
};

} // namespace brevona::test
