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

TEST(HyprlandReplies, ClientsAreMappedWindows)
{
    const auto clients = HyprlandPayloads::clients(kClients);
    ASSERT_TRUE(clients);
    ASSERT_EQ(clients->size(), 2);
    EXPECT_EQ(clients->at(0).address, "55d7a8c1e0a0");
    EXPECT_EQ(clients->at(0).wmClass, "org.gnome.Nautilus");
    EXPECT_EQ(clients->at(0).pid, 2311);
    EXPECT_FALSE(clients->at(0).xwayland);
    EXPECT_EQ(clients->at(1).wmClass, "XTerm");
    EXPECT_EQ(clients->at(1).initialClass, "xterm");
    EXPECT_TRUE(clients->at(1).xwayland);
    EXPECT_FALSE(HyprlandPayloads::clients("unknown request"));
}

TEST(HyprlandReplies, ActiveWindow)
{
    EXPECT_EQ(HyprlandPayloads::activeWindow(R"({"address":"0x55d7a8c1e0a0","class":"org.gnome.Nautilus"})"),
              "55d7a8c1e0a0");
    // No window has the focus.
    EXPECT_EQ(HyprlandPayloads::activeWindow("{}"), "");
    EXPECT_FALSE(HyprlandPayloads::activeWindow("ok"));
}

const XkbLayoutDescriptions kDescriptions({{"us", "English (US)"},
                                           {"de", "German"},
                                           {"de(nodeadkeys)", "German (no dead keys)"},
                                           {"us(intl)", "English (US, intl., with dead keys)"}});

struct KeyboardRow
{
    const char *name;
    QByteArray keyboard;
    QStringList layouts;
    std::optional<int> active;
};

class HyprlandKeyboardTest : public ::testing::TestWithParam<KeyboardRow>
{
};

TEST_P(HyprlandKeyboardTest, LayoutsAndTheActiveOne)
{
    const auto keyboards =
        HyprlandPayloads::keyboards(R"({"mice":[],"keyboards":[)" + GetParam().keyboard + "]}");
    ASSERT_TRUE(keyboards);
    ASSERT_EQ(keyboards->size(), 1);
    EXPECT_EQ(keyboards->at(0).layouts, GetParam().layouts);
    EXPECT_EQ(HyprlandLanguageSource::activeIndex(keyboards->at(0), kDescriptions), GetParam().active);
}

// clang-format off
const KeyboardRow kKeyboardRows[] = {
    {.name = "SecondByDescription", .keyboard = R"j({"name":"kb","layout":"us,de","variant":",nodeadkeys","active_keymap":"German (no dead keys)"})j", .layouts = {"us", "de(nodeadkeys)"}, .active = 1},
    {.name = "DescriptionWithCommas", .keyboard = R"j({"name":"kb","layout":"de,us","variant":",intl","active_keymap":"English (US, intl., with dead keys)"})j", .layouts = {"de", "us(intl)"}, .active = 1},
    {.name = "IndexWhereGiven", .keyboard = R"({"name":"kb","layout":"us,de","variant":"","active_keymap":"Unknown","active_layout_index":1})", .layouts = {"us", "de"}, .active = 1},
    {.name = "IndexOutOfRangeFallsBack", .keyboard = R"j({"name":"kb","layout":"us,de","variant":"","active_keymap":"English (US)","active_layout_index":5})j", .layouts = {"us", "de"}, .active = 0},
    {.name = "UnknownKeymap", .keyboard = R"({"name":"kb","layout":"us","variant":"","active_keymap":"Custom"})", .layouts = {"us"}, .active = std::nullopt},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, HyprlandKeyboardTest, ::testing::ValuesIn(kKeyboardRows),
                         brevona::test::RowName());

struct EventRow
{
    const char *name;
    QByteArray line;
    const char *event; // empty: no event
    QStringList fields;
};

class HyprlandEventTest : public ::testing::TestWithParam<EventRow>
{
};

TEST_P(HyprlandEventTest, SplitsTheLine)
{
    const auto event = HyprlandPayloads::event(GetParam().line);
    ASSERT_EQ(event.has_value(), *GetParam().event != '\0');
    if (!event)
        return;
    EXPECT_EQ(event->name, QLatin1String(GetParam().event));
    EXPECT_EQ(HyprlandPayloads::fields(event->data, int(GetParam().fields.size())), GetParam().fields);
}

// clang-format off
const EventRow kEventRows[] = {
    // The last field keeps its commas: window titles and keymap descriptions have them.
    {.name = "OpenWindow", .line = "openwindow>>55d7a8d02f10,1,XTerm,xterm, a title", .event = "openwindow", .fields = {"55d7a8d02f10", "1", "XTerm", "xterm, a title"}},
    {.name = "ActiveWindowV2", .line = "activewindowv2>>55d7a8c1e0a0", .event = "activewindowv2", .fields = {"55d7a8c1e0a0"}},
    {.name = "NoActiveWindow", .line = "activewindowv2>>,", .event = "activewindowv2", .fields = {","}},
    {.name = "EmptyData", .line = "workspace>>", .event = "workspace", .fields = {""}},
    {.name = "NoSeparator", .line = "garbage", .event = "", .fields = {}},
    {.name = "NoName", .line = ">>data", .event = "", .fields = {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, HyprlandEventTest, ::testing::ValuesIn(kEventRows), brevona::test::RowName());

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
                socket->write(replies.value(request, request.startsWith("keyword ") ? keywordReply
                                                                                    : "unknown request"));
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
    QByteArray keywordReply = "ok";
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
    void refuseKeywords(const QByteArray &reply)
    {
        m_thread.call([&](HyprlandServer &server) { server.keywordReply = reply; });
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
    press(token);
    EXPECT_EQ(pressed.count(), 1);

    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    hyprland.refuseKeywords("invalid dispatcher");
    EXPECT_FALSE(service.registerHotKey(24, hotkey_modifiers::Control, "c", 7));
    EXPECT_EQ(log.count("refused by Hyprland: invalid dispatcher"), 1);
}

} // namespace
