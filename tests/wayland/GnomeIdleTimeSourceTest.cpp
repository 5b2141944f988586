// Mutter's idle monitor on the session bus, with a stand-in on a connection and thread of its own.
#include <QDBusConnection>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "StandInThread.h"
#include "wayland/GnomeIdleTimeSource.h"

using namespace brevona;
using namespace brevona::test;

namespace {

class IdleMonitor : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    IdleMonitor()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("mutter-stand-in")))
    {
        m_bus.registerObject(QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"), this,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor"));
    }
    ~IdleMonitor() override
    {
        m_bus.unregisterService(QStringLiteral("org.gnome.Mutter.IdleMonitor"));
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    quint64 idle = 0;

public Q_SLOTS:
    quint64 GetIdletime() { return idle; }

private:
    QDBusConnection m_bus;
};

TEST(GnomeIdleTimeSource, AsksMutter)
{
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    GnomeIdleTimeSource source;
    // Before the Shell is up: nothing, said once.
    EXPECT_FALSE(source.idleNanoseconds());
    EXPECT_FALSE(source.idleNanoseconds());
    EXPECT_EQ(log.count("Mutter's idle monitor does not answer"), 1);
    {
        StandInThread<IdleMonitor> mutter;
        mutter.call([](IdleMonitor &monitor) { monitor.idle = 61'500; });
        EXPECT_EQ(source.idleNanoseconds(), 61'500'000'000ULL);
    }
}

} // namespace

#include "GnomeIdleTimeSourceTest.moc"
