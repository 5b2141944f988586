// Hyprland's replies and event lines, in the shapes Hyprland 0.4x writes them (addresses, classes
// and pids as a session shows them), and its sockets served by a stand-in in the instance folder.
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "StandInThread.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "wayland/HyprlandApplicationMonitor.h"
#include "wayland/HyprlandHotKeyService.h"
#include "wayland/HyprlandLanguageSource.h"
#include "wayland/HyprlandPayloads.h"
#include "wayland/XkbLayoutDescriptions.h"

using namespace brevona;
using namespace brevona::test;

namespace {

const QByteArray kClients = R"([{
    "address": "0x55d7a8c1e0a0", "mapped": true, "hidden": false, "at": [10, 10], "size": [900, 700],
    "workspace": {"id": 1, "name": "1"}, "floating": false, "monitor": 0,
    "class": "org.gnome.Nautilus", "title": "Home", "initialClass": "org.gnome.Nautilus",
    "initialTitle": "Home", "pid": 2311, "xwayland": false, "pinned": false, "fullscreen": 0,
    "grouped": [], "swallowing": "0x0", "focusHistoryID": 1
}, {
    "address": "0x55d7a8d02f10", "mapped": true, "class": "XTerm", "title": "xterm, a title",
    "initialClass": "xterm", "pid": 2400, "xwayland": true
}, {
    "address": "0x55d7a8d11111", "mapped": false, "class": "", "pid": -1, "xwayland": false
}])";

const XkbLayoutDescriptions
    kDescriptions({{"us", "English (US)"}, {"de", "German"}, {"de(nodeadkeys)", "German (no dead keys)"}});

QString clients(const QByteArray &payload)
{
    QStringList listed;
    for (const HyprlandPayloads::Client &client :
         HyprlandPayloads::clients(payload).value_or(QList<HyprlandPayloads::Client>()))
        listed.append(QStringLiteral("%1 %2/%3 pid %4%5")
                          .arg(client.address, client.wmClass, client.initialClass)
                          .arg(client.pid)
                          .arg(client.xwayland ? " xwayland" : ""));
    return listed.join(", ");
}

// The layouts of the one keyboard, and the one in use.
QString keyboard(const QByteArray &keyboard)
{
    const auto keyboards = HyprlandPayloads::keyboards(R"({"mice":[],"keyboards":[)" + keyboard + "]}");
    if (!keyboards || keyboards->size() != 1)
        return QStringLiteral("none");
    const auto active = HyprlandLanguageSource::activeIndex(keyboards->at(0), kDescriptions);
    return keyboards->at(0).layouts.join(',') + " at " + (active ? QString::number(*active) : "none");
}

QString event(const QByteArray &line)
{
    const auto event = HyprlandPayloads::event(line);
    return event ? event->name + ": " + HyprlandPayloads::fields(event->data, 4).join('|')
                 : QStringLiteral("none");
}

struct PayloadRow
{
    const char *name;
    QString (*read)(const QByteArray &);
    QByteArray payload;
    const char *reads;
};

class HyprlandPayloadTest : public ::testing::TestWithParam<PayloadRow>
{
};

TEST_P(HyprlandPayloadTest, ReadsWhatMatters)
{
    EXPECT_EQ(GetParam().read(GetParam().payload), QString::fromUtf8(GetParam().reads));
}

// clang-format off
const PayloadRow kPayloadRows[] = {
    // Windows being set up are listed unmapped, without class; an Xwayland one keeps its first class.
    {.name = "MappedClients", .read = clients, .payload = kClients, .reads = "55d7a8c1e0a0 org.gnome.Nautilus/org.gnome.Nautilus pid 2311, 55d7a8d02f10 XTerm/xterm pid 2400 xwayland"},
    {.name = "IndexWhereGiven", .read = keyboard, .payload = R"({"name":"kb","layout":"us,de","variant":"","active_keymap":"Unknown","active_layout_index":1})", .reads = "us,de at 1"},
    {.name = "IndexOutOfRangeFallsBack", .read = keyboard, .payload = R"j({"name":"kb","layout":"us,de","variant":"","active_keymap":"English (US)","active_layout_index":5})j", .reads = "us,de at 0"},
    {.name = "UnknownKeymap", .read = keyboard, .payload = R"({"name":"kb","layout":"us","variant":"","active_keymap":"Custom"})", .reads = "us at none"},
    // The last field keeps its commas: window titles and keymap descriptions have them.
    {.name = "OpenWindowLine", .read = event, .payload = "openwindow>>55d7a8d02f10,1,XTerm,xterm, a title", .reads = "openwindow: 55d7a8d02f10|1|XTerm|xterm, a title"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, HyprlandPayloadTest, ::testing::ValuesIn(kPayloadRows),
                         brevona::test::RowName());

// ---------------------------------------------------------------- over the sockets

// Hyprland's two sockets: replies by command, events sent on demand.
class HyprlandServer
{
public:
    HyprlandServer()
    {
        m_requests.listen(QDir(m_folder.path()).filePath(".socket.sock"));
        m_events.listen(QDir(m_folder.path()).filePath(".socket2.sock"));
        QObject::connect(&m_requests, &QLocalServer::newConnection, [this] {
            QLocalSocket *socket = m_requests.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, [this, socket] {
                const QByteArray request = socket->readAll();
                requests.append(request);
                // Keywords all get the one reply set for "keyword", "ok" unless set.
                const QByteArray key = request.startsWith("keyword ") ? "keyword" : request;
                socket->write(replies.value(key, key == "keyword" ? "ok" : "unknown request"));
                socket->disconnectFromServer();
            });
        });
        QObject::connect(&m_events, &QLocalServer::newConnection,
                         [this] { m_listeners.append(m_events.nextPendingConnection()); });
    }
    QString folder() const { return m_folder.path(); }
    void send(const QByteArray &lines)
    {
        for (QLocalSocket *listener : std::as_const(m_listeners))
            listener->write(lines);
    }

    QHash<QByteArray, QByteArray> replies;
    QList<QByteArray> requests;

private:
    QTemporaryDir m_folder;
    QLocalServer m_requests;
    QLocalServer m_events;
    QList<QLocalSocket *> m_listeners;
};

// The server on a thread of its own: the backends wait for its replies.
class FakeHyprland
{
public:
    QString folder()
    {
        return m_thread.call([](HyprlandServer &server) { return server.folder(); });
    }
    void reply(const QByteArray &command, const QByteArray &payload)
    {
        m_thread.call([&](HyprlandServer &server) { server.replies.insert(command, payload); });
    }
    void send(const QByteArray &lines)
    {
        m_thread.call([&](HyprlandServer &server) { server.send(lines); });
    }
    QList<QByteArray> requests()
    {
        return m_thread.call([](HyprlandServer &server) { return server.requests; });
    }

private:
    StandInThread<HyprlandServer> m_thread;
};

TEST(HyprlandSockets, ApplicationsFollowTheEventLines)
{
    QTemporaryDir applications;
    FakeHyprland hyprland;
    hyprland.reply("j/clients", kClients);
    hyprland.reply("j/activewindow", R"({"address":"0x55d7a8d02f10"})");
    HyprlandApplicationMonitor monitor(hyprland.folder(), {applications.path()});
    monitor.startWatching();
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"org.gnome.Nautilus", "XTerm"}));
    EXPECT_EQ(monitor.foregroundApplication(), "XTerm");

    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(&monitor, &ApplicationMonitor::applicationTerminated);
    hyprland.reply(
        "j/clients",
        R"([{"address":"0x55d7a8c1e0a0","class":"org.gnome.Nautilus","pid":2311},{"address":"0x5600aa","class":"firefox","pid":2500}])");
    // Lines may come split anywhere.
    hyprland.send(
        "openwindow>>5600aa,1,firefox,Mozilla Firefox\nactivewindow>>firefox,Mozilla Firefox\nactivewin");
    hyprland.send("dowv2>>5600aa\ncl");
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "firefox"; }));
    EXPECT_EQ(launched.count(), 1);
    hyprland.send("osewindow>>55d7a8d02f10\n");
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 1; }));
    EXPECT_EQ(terminated.at(0).at(0).toString(), "XTerm");
    hyprland.send("activewindowv2>>,\n");
    EXPECT_TRUE(waitUntil([&] { return monitor.foregroundApplication().isEmpty(); }));
}

TEST(HyprlandSockets, LanguageFollowsTheKeyboardThatSwitched)
{
    FakeHyprland hyprland;
    hyprland.reply("j/devices", R"j({"keyboards":[
        {"name":"power-button","layout":"us","variant":"","active_keymap":"English (US)","main":false},
        {"name":"kb","layout":"us,de","variant":",nodeadkeys","active_keymap":"English (US)","main":true}]})j");
    HyprlandLanguageSource source(hyprland.folder(), &kDescriptions);
    source.startWatching();
    EXPECT_EQ(source.layouts(), QStringList({"us", "de(nodeadkeys)"}));
    EXPECT_EQ(source.currentIndex(), 0);

    QSignalSpy changed(&source, &InputLanguageSource::languageChanged);
    hyprland.reply("j/devices", R"j({"keyboards":[
        {"name":"kb","layout":"us,de","variant":",nodeadkeys","active_keymap":"German (no dead keys)","main":true}]})j");
    hyprland.send("activelayout>>kb,German (no dead keys)\n");
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_EQ(source.currentLayout(), "de(nodeadkeys)");
}

TEST(HyprlandSockets, NothingWithoutHyprland)
{
    QTemporaryDir empty;
    HyprlandApplicationMonitor monitor(empty.path(), {empty.path()});
    EXPECT_FALSE(monitor.runningApplications());
    HyprlandLanguageSource source(empty.path(), &kDescriptions);
    EXPECT_FALSE(source.layouts());
}

TEST(HyprlandSockets, HotKeysAreBindingsThatCallBack)
{
    FakeHyprland hyprland;
    HyprlandHotKeyService service(hyprland.folder());
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);
    const auto hotKey =
        service.registerHotKey(38, hotkey_modifiers::Command | hotkey_modifiers::Shift, "a", 5);
    ASSERT_TRUE(hotKey);
    EXPECT_FALSE(service.registerHotKey(38, hotkey_modifiers::Command | hotkey_modifiers::Shift, "b", 6));
    const QString token = HyprlandHotKeyService::tokenFor(::getpid(), *hotKey);
    const QByteArray bind = hyprland.requests().value(0);
    EXPECT_TRUE(bind.startsWith(
        "keyword bind SUPER SHIFT,code:38,exec,dbus-send --session --type=method_call --dest=" +
        QDBusConnection::sessionBus().baseService().toUtf8()))
        << bind.toStdString();
    EXPECT_TRUE(bind.endsWith("com.kettlewood.Brevona.HyprlandHotKeys.Pressed string:" + token.toUtf8()));

    // The binding's dbus-send, from another connection.
    const auto press = [&](const QString &sent) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QDBusConnection::sessionBus().baseService(), QLatin1String(HyprlandHotKeyService::ObjectPath),
            QStringLiteral("com.kettlewood.Brevona.HyprlandHotKeys"), QStringLiteral("Pressed"));
        call.setArguments({sent});
        QDBusConnection other =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dbus-send"));
        const QDBusPendingCall answer = other.asyncCall(call);
        EXPECT_TRUE(waitUntil([&] { return answer.isFinished(); }));
        QDBusConnection::disconnectFromBus(QStringLiteral("dbus-send"));
    };
    press(token);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed.at(0).at(0).toInt(), 5);
    // A token of another process, or one left by an earlier driver, fires nothing.
    press(HyprlandHotKeyService::tokenFor(::getpid() + 1, *hotKey));
    EXPECT_EQ(pressed.count(), 1);

    EXPECT_TRUE(service.unregisterHotKey(*hotKey));
    EXPECT_EQ(hyprland.requests().last(), "keyword unbind SUPER SHIFT,code:38");

    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    hyprland.reply("keyword", "invalid dispatcher");
    EXPECT_FALSE(service.registerHotKey(24, hotkey_modifiers::Control, "c", 7));
    EXPECT_EQ(log.count("refused by Hyprland: invalid dispatcher"), 1);
}

} // namespace
