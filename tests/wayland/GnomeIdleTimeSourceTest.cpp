// Mutter's idle monitor on the session bus, with a stand-in on a connection and thread of its own.
#include <gtest/gtest.h>

#include "BusStandIn.h"
#include "LogCapture.h"
#include "StandInThread.h"
#include "wayland/GnomeIdleTimeSource.h"

using namespace brevona;
using namespace brevona::test;

namespace {

class IdleMonitor : public BusStandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    IdleMonitor()
        : BusStandIn(QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                     QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                     QStringLiteral("org.gnome.Mutter.IdleMonitor"))
    {
        own();
    }

public Q_SLOTS:
    quint64 GetIdletime() { return 61'500; }
};

TEST(GnomeIdleTimeSource, AsksMutter)
{
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    GnomeIdleTimeSource source;
    // Before the Shell is up: nothing, said once.
    EXPECT_FALSE(source.idleNanoseconds());
    EXPECT_FALSE(source.idleNanoseconds());
    EXPECT_EQ(log.count("Mutter's idle monitor does not answer"), 1);
    StandInThread<IdleMonitor> mutter;
    EXPECT_EQ(source.idleNanoseconds(), 61'500'000'000ULL);
}

} // namespace

#include "GnomeIdleTimeSourceTest.moc"
