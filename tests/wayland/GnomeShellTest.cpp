// GNOME Shell's windows and input sources through the Brevona extension's bus interface, and its
// idle time from Mutter's idle monitor, with stand-ins for the extension (its name, object and
// signals) and the monitor on connections and threads of their own. The extension's JavaScript
// itself runs only in a real GNOME Shell.
#include <QDBusMetaType>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "BusStandIn.h"
#include "LogCapture.h"
#include "StandInThread.h"
#include "TestHome.h"
#include "Wait.h"
#include "wayland/GnomeApplicationMonitor.h"
#include "wayland/GnomeIdleTimeSource.h"
#include "wayland/GnomeLanguageSource.h"

using namespace brevona;
using namespace brevona::test;

namespace {

using ShellWindow = BusStandIn::Structure<QString, QString, QString, int>; // id, app id, class, pid

class Extension : public BusStandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.kettlewood.Brevona.GnomeShell")
public:
    Extension()
        : BusStandIn(QLatin1String(GnomeApplicationMonitor::Service),
                     QLatin1String(GnomeApplicationMonitor::ObjectPath),
                     QLatin1String(GnomeApplicationMonitor::Interface))
    {
        qDBusRegisterMetaType<ShellWindow>();
        qDBusRegisterMetaType<QList<ShellWindow>>();
    }

    QList<ShellWindow> windows;
    QString focused;
    QStringList sources;
    int current = -1;

public Q_SLOTS:
    QList<ShellWindow> GetWindows(QString &focusedId)
    {
        focusedId = focused;
        return windows;
    }
    QStringList GetInputSources(int &currentIndex)
    {
        currentIndex = current;
        return sources;
    }
};

TEST(GnomeShell, ApplicationsFollowTheExtension)
{
    TestHome home;
    QTemporaryDir applications;
    StandInThread<Extension> shell;
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    GnomeApplicationMonitor monitor({applications.path()});
    // Not enabled yet: nothing, said once.
    EXPECT_FALSE(monitor.runningApplications());
    EXPECT_EQ(log.count("does not answer"), 1);

    QSignalSpy foreground(&monitor, &ApplicationMonitor::foregroundApplicationChanged);
    shell.call([](Extension &extension) {
        extension.windows = {{"11", "org.gnome.Nautilus", "org.gnome.Nautilus", 3100},
                             {"12", "", "XTerm", 0}};
        extension.focused = "12";
        extension.own();
    });
    // Picked up when its name appears, without anyone asking.
    ASSERT_TRUE(waitUntil([&] { return !foreground.isEmpty(); }));
    EXPECT_EQ(monitor.foregroundApplication(), "XTerm");
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"org.gnome.Nautilus", "XTerm"}));

    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(&monitor, &ApplicationMonitor::applicationTerminated);
    shell.call([](Extension &extension) {
        extension.emitSignal("WindowOpened", {"13", "org.gnome.TextEditor", "gnome-text-editor", 3300});
        extension.emitSignal("FocusChanged", {"13"});
        extension.emitSignal("WindowClosed", {"11"});
    });
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 1; }));
    EXPECT_EQ(terminated.at(0).at(0).toString(), "org.gnome.Nautilus");
    EXPECT_EQ(launched.at(0).at(0).toString(), "org.gnome.TextEditor");
    EXPECT_EQ(monitor.foregroundApplication(), "org.gnome.TextEditor");

    // Disabled: its windows go with it.
    shell.call([](Extension &extension) { extension.release(); });
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 3; }));
    EXPECT_TRUE(monitor.foregroundApplication().isEmpty());
}

TEST(GnomeShell, LanguageFollowsTheExtension)
{
    StandInThread<Extension> shell;
    shell.call([](Extension &extension) {
        // An input method keeps its own name: no XKB layout stands for it.
        extension.sources = {"us", "de+nodeadkeys", "ibus:anthy"};
        extension.current = 1;
        extension.own();
    });
    GnomeLanguageSource source;
    source.startWatching();
    EXPECT_EQ(source.layouts(), QStringList({"us", "de(nodeadkeys)", "ibus:anthy"}));
    EXPECT_EQ(source.currentLayout(), "de(nodeadkeys)");

    QSignalSpy changed(&source, &InputLanguageSource::languageChanged);
    shell.call([](Extension &extension) {
        extension.current = 0;
        extension.emitSignal("InputSourcesChanged");
    });
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_EQ(source.currentLayout(), "us");
}

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

#include "GnomeShellTest.moc"
