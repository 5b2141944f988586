// Plasma's keyboard layouts over the session bus, with a stand-in for its keyboard daemon
// (org.kde.keyboard /Layouts, org.kde.KeyboardLayouts) on a connection and thread of its own.
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "BusStandIn.h"
#include "LogCapture.h"
#include "StandInThread.h"
#include "Wait.h"
#include "wayland/KdeLanguageSource.h"

using namespace brevona;
using namespace brevona::test;

namespace {

struct Layout
{
    QString shortName, variant, displayName;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Layout &layout)
{
    argument.beginStructure();
    argument << layout.shortName << layout.variant << layout.displayName;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Layout &layout)
{
    argument.beginStructure();
    argument >> layout.shortName >> layout.variant >> layout.displayName;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Layout)

namespace {

class KeyboardDaemon : public BusStandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KeyboardLayouts")
public:
    KeyboardDaemon()
        : BusStandIn(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                     QStringLiteral("org.kde.KeyboardLayouts"))
    {
        qDBusRegisterMetaType<Layout>();
        qDBusRegisterMetaType<QList<Layout>>();
        own();
    }

    QList<Layout> layouts;
    uint current = 0;

public Q_SLOTS:
    uint getLayout() { return current; }
    QList<Layout> getLayoutsList() { return layouts; }
};

TEST(KdeLanguageSource, FollowsPlasmasKeyboardDaemon)
{
    StandInThread<KeyboardDaemon> plasma;
    plasma.call([](KeyboardDaemon &daemon) {
        daemon.layouts = {{"us", "", "English (US)"}, {"de", "nodeadkeys", "German (no dead keys)"}};
        daemon.current = 1;
    });
    KdeLanguageSource source;
    source.startWatching();
    EXPECT_EQ(source.layouts(), QStringList({"us", "de(nodeadkeys)"}));
    EXPECT_EQ(source.currentLayout(), "de(nodeadkeys)");

    QSignalSpy changed(&source, &InputLanguageSource::languageChanged);
    plasma.call([](KeyboardDaemon &daemon) {
        daemon.current = 0;
        daemon.emitSignal("layoutChanged", {QVariant::fromValue(uint(0))});
    });
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_EQ(source.currentLayout(), "us");

    plasma.call([](KeyboardDaemon &daemon) {
        daemon.layouts = {{"fr", "", "French"}, {"us", "", "English (US)"}};
        daemon.current = 1;
        daemon.emitSignal("layoutListChanged", {});
    });
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 2; }));
    EXPECT_EQ(source.layouts(), QStringList({"fr", "us"}));
    EXPECT_EQ(source.currentIndex(), 1);
}

TEST(KdeLanguageSource, NothingWithoutPlasmaSaidOnce)
{
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    KdeLanguageSource source;
    EXPECT_FALSE(source.layouts());
    EXPECT_FALSE(source.currentIndex());
    EXPECT_EQ(log.count("Plasma's keyboard layouts cannot be read"), 1);
}

} // namespace

#include "KdeLanguageSourceTest.moc"
