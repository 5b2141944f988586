// KDE Plasma's windows and keyboard layouts over the session bus, with stand-ins on connections
// and threads of their own: a KWin that loads the window script as KWin's scripting interface does
// and then reports windows as the script would, from the connection that owns org.kde.KWin (the
// script's JavaScript itself runs only in a real KWin), and Plasma's keyboard daemon
// (org.kde.keyboard /Layouts, org.kde.KeyboardLayouts).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "BusStandIn.h"
#include "LogCapture.h"
#include "StandInThread.h"
#include "TestHome.h"
#include "Wait.h"
#include "wayland/KdeApplicationMonitor.h"
#include "wayland/KdeLanguageSource.h"

using namespace brevona;
using namespace brevona::test;

namespace {

class ScriptObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
public:
    bool running = false;
public Q_SLOTS:
    void run() { running = true; }
};

class FakeKWin : public BusStandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
public:
    FakeKWin()
        : BusStandIn(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                     QStringLiteral("org.kde.kwin.Scripting"))
    {
        bus().registerObject(QStringLiteral("/Scripting/Script7"), &m_script,
                             QDBusConnection::ExportAllSlots);
        own();
    }

    // Calls the driver's object as the loaded script does, with the report's number: without
    // waiting, since the driver answers on the thread the test waits on.
    void report(int sequence, const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(destination, QLatin1String(KdeApplicationMonitor::ObjectPath),
                                           QStringLiteral("com.kettlewood.Brevona.KWinWindows"), method);
        call.setArguments(QVariantList{sequence} + arguments);
        bus().send(call);
    }

    QString destination;
    QStringList unloaded;
    bool running() const { return m_script.running; }

public Q_SLOTS:
    int loadScript(const QString &path, const QString &plugin)
    {
        QFile file(path);
        if (plugin != KdeApplicationMonitor::pluginName() || !file.open(QIODevice::ReadOnly))
            return -1;
        destination = QRegularExpression(QStringLiteral("const destination = \"([^\"]+)\""))
                          .match(QString::fromUtf8(file.readAll()))
                          .captured(1);
        return 7;
    }
    bool unloadScript(const QString &plugin)
    {
        unloaded.append(plugin);
        return true;
    }

private:
    ScriptObject m_script;
};

// The reports are numbered because they do not always arrive in the order they were sent: Qt's
// bus connection hands over those that came while its delivery was still held back (until the
// event loop first runs) after ones that came later. Here the later ones are sent first.
TEST(KdeApplicationMonitor, FollowsWhatKWinsScriptReports)
{
    TestHome home;
    QTemporaryDir applications;
    StandInThread<FakeKWin> kwin;
    auto monitor = std::make_unique<KdeApplicationMonitor>(QStringList{applications.path()});
    monitor->startWatching();
    EXPECT_TRUE(kwin.call([](FakeKWin &k) { return k.running(); }));
    // One script per program: the driver's and the configurator's must not replace each other.
    EXPECT_EQ(KdeApplicationMonitor::pluginName(), "brevona-windows-brevona_wayland_tests");

    QSignalSpy launched(monitor.get(), &ApplicationMonitor::applicationLaunched);
    kwin.call([](FakeKWin &k) {
        k.report(4, "windowAdded", {"{c3}", "org.kde.konsole", "konsole", 4200});
        k.report(5, "windowActivated", {"{c3}"});
        k.report(6, "windowRemoved", {"{a1}"});
        k.report(0, "beginListing");
        k.report(1, "windowAdded", {"{a1}", "org.kde.dolphin", "dolphin", 4100});
        k.report(2, "windowAdded", {"{b2}", "", "XTerm", 0});
        k.report(3, "endListing", {"{a1}"});
    });
    ASSERT_TRUE(waitUntil([&] { return monitor->foregroundApplication() == "org.kde.konsole"; }));
    EXPECT_EQ(monitor->runningApplications(), QSet<QString>({"org.kde.konsole", "XTerm"}));
    EXPECT_EQ(launched.last().value(0).toString(), "org.kde.konsole");

    // Anyone else on the bus is not KWin.
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("forger"));
    const QDBusPendingCall answer =
        other.asyncCall(QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
                                                       QLatin1String(KdeApplicationMonitor::ObjectPath),
                                                       QStringLiteral("com.kettlewood.Brevona.KWinWindows"),
                                                       QStringLiteral("windowRemoved"))
                        << 7 << "{c3}");
    EXPECT_TRUE(waitUntil([&] { return answer.isFinished(); }));
    QDBusConnection::disconnectFromBus(QStringLiteral("forger"));
    EXPECT_EQ(monitor->foregroundApplication(), "org.kde.konsole");
    EXPECT_EQ(log.count("not KWin"), 1);

    // The script goes with the monitor; the first unloading replaced one left by an earlier start.
    monitor.reset();
    EXPECT_EQ(kwin.call([](FakeKWin &k) { return k.unloaded; }),
              QStringList({KdeApplicationMonitor::pluginName(), KdeApplicationMonitor::pluginName()}));
}

using Layout = BusStandIn::Structure<QString, QString, QString>; // short name, variant, display name

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

TEST(KdePlasma, NothingWithoutKWinOrTheKeyboardDaemonSaidOnce)
{
    TestHome home;
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    KdeApplicationMonitor monitor;
    EXPECT_FALSE(monitor.runningApplications());
    KdeLanguageSource source;
    EXPECT_FALSE(source.layouts());
    EXPECT_FALSE(source.currentIndex());
    EXPECT_EQ(log.count("KWin did not load the window script"), 1);
    EXPECT_EQ(log.count("Plasma's keyboard layouts cannot be read"), 1);
}

} // namespace

#include "KdePlasmaTest.moc"
