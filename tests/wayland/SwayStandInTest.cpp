// The sway backends' language and hot keys over a stand-in socket: a headless sway has neither
// keyboards nor key presses. The payloads are sway's, as its documentation shows them.
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "StandInThread.h"
#include "Wait.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayHotKeyService.h"
#include "wayland/SwayLanguageSource.h"
#include "wayland/XkbLayoutDescriptions.h"

using namespace brevona;
using namespace brevona::test;

namespace {

// sway's IPC socket: replies set by request type (SUBSCRIBE and RUN_COMMAND succeed unless set),
// events sent to the clients subscribed to them.
class SwayServer
{
public:
    SwayServer()
    {
        m_server.listen(path());
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
            QLocalSocket *socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, [this, socket] { read(socket); });
        });
    }
    QString path() const { return m_folder.filePath(QStringLiteral("sway-ipc.sock")); }
    void sendEvent(const QString &name, quint32 type, const QByteArray &payload)
    {
        for (auto it = m_subscriptions.cbegin(); it != m_subscriptions.cend(); ++it) {
            if (it.value().contains(name))
                it.key()->write(I3IpcCodec::encode(type, payload));
        }
    }

    QHash<quint32, QByteArray> replies;
    QStringList commands;

private:
    void read(QLocalSocket *socket)
    {
        I3IpcCodec &codec = m_codecs[socket];
        codec.feed(socket->readAll());
        while (const auto message = codec.next()) {
            QByteArray reply = replies.value(message->type);
            if (message->type == I3IpcCodec::Subscribe) {
                for (const QJsonValue &name : QJsonDocument::fromJson(message->payload).array())
                    m_subscriptions[socket].append(name.toString());
                reply = R"({"success":true})";
            } else if (message->type == I3IpcCodec::RunCommand) {
                commands.append(QString::fromUtf8(message->payload));
                if (reply.isEmpty())
                    reply = R"([{"success":true}])";
            }
            socket->write(I3IpcCodec::encode(message->type, reply));
        }
    }

    QTemporaryDir m_folder;
    QLocalServer m_server;
    QHash<QLocalSocket *, I3IpcCodec> m_codecs;
    QHash<QLocalSocket *, QStringList> m_subscriptions;
};

// The server on a thread of its own: the backends wait for its replies.
class FakeSway
{
public:
    QString path()
    {
        return m_thread.call([](SwayServer &server) { return server.path(); });
    }
    void setReply(quint32 type, const QByteArray &payload)
    {
        m_thread.call([&](SwayServer &server) { server.replies.insert(type, payload); });
    }
    void sendEvent(const QString &name, quint32 type, const QByteArray &payload)
    {
        m_thread.call([&](SwayServer &server) { server.sendEvent(name, type, payload); });
    }
    QStringList commands()
    {
        return m_thread.call([](SwayServer &server) { return server.commands; });
    }

private:
    StandInThread<SwayServer> m_thread;
};

const XkbLayoutDescriptions kDescriptions({{"us", "English (US)"},
                                           {"de", "German"},
                                           {"de(nodeadkeys)", "German (no dead keys)"},
                                           {"fr", "French"}});

QByteArray keyboardJson(const char *identifier, const char *names, int active)
{
    return QStringLiteral(
               R"({"identifier":"%1","type":"keyboard","xkb_layout_names":[%2],"xkb_active_layout_index":%3})")
        .arg(QLatin1String(identifier), QLatin1String(names))
        .arg(active)
        .toUtf8();
}

QByteArray inputEvent(const char *change, const QByteArray &keyboard)
{
    return "{\"change\":\"" + QByteArray(change) + "\",\"input\":" + keyboard + "}";
}

TEST(SwayLanguage, FollowsTheKeyboardThatSwitchedLast)
{
    FakeSway sway;
    sway.setReply(I3IpcCodec::GetInputs,
                  "[" + keyboardJson("1:1:laptop", R"j("English (US)","German (no dead keys)")j", 1) + "," +
                      keyboardJson("2:2:external", R"j("French","English (US)")j", 0) + "]");
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    SwayLanguageSource source(sway.path(), &kDescriptions);
    source.startWatching();
    // The first keyboard speaks until another one switches.
    EXPECT_EQ(source.layouts(), QStringList({"us", "de(nodeadkeys)"}));
    EXPECT_EQ(source.currentIndex(), 1);

    QSignalSpy changed(&source, &InputLanguageSource::languageChanged);
    sway.sendEvent("input", I3IpcCodec::InputEvent,
                   inputEvent("xkb_layout", keyboardJson("2:2:external", R"j("French","English (US)")j", 1)));
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_EQ(source.layouts(), QStringList({"fr", "us"}));
    EXPECT_EQ(source.currentLayout(), "us");

    // A layout XKB's registry does not know keeps the compositor's name, said once.
    sway.sendEvent("input", I3IpcCodec::InputEvent,
                   inputEvent("xkb_keymap", keyboardJson("2:2:external", R"("Custom","French")", 0)));
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 2; }));
    EXPECT_EQ(source.layouts(), QStringList({"Custom", "fr"}));
    EXPECT_EQ(source.layouts(), QStringList({"Custom", "fr"}));
    EXPECT_EQ(log.count("Custom"), 1);

    // The speaking keyboard unplugged: the one left speaks.
    sway.sendEvent("input", I3IpcCodec::InputEvent,
                   R"({"change":"removed","input":{"identifier":"2:2:external","type":"keyboard"}})");
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 3; }));
    EXPECT_EQ(source.currentLayout(), "de(nodeadkeys)");
}

TEST(SwayLanguage, NothingWithoutSwaySaidOnce)
{
    QTemporaryDir empty;
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    SwayLanguageSource nowhere(empty.filePath(QStringLiteral("sway-ipc.sock")), &kDescriptions);
    EXPECT_FALSE(nowhere.layouts());
    EXPECT_FALSE(nowhere.currentIndex());
    EXPECT_EQ(log.count("Cannot reach sway's IPC socket"), 1);
}

TEST(SwayHotKeys, BindingEventsOfThisProcessArePresses)
{
    FakeSway sway;
    SwayHotKeyService service(sway.path());
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);
    namespace m = hotkey_modifiers;
    const int all = m::Control | m::Option | m::Shift | m::Command;
    const auto first = service.registerHotKey(38, all | m::CapsLock, "a", 7);
    const auto second = service.registerHotKey(39, 0, "b", 8);
    ASSERT_TRUE(first && second);
    // Refused: a combination bound already (Caps Lock is no modifier to sway), no key code.
    EXPECT_FALSE(service.registerHotKey(38, all, "c", 9));
    EXPECT_FALSE(service.registerHotKey(3, 0, "d", 10));
    const QString command = SwayHotKeyService::commandFor(::getpid(), *second);
    EXPECT_EQ(sway.commands(), QStringList({"bindcode --no-repeat Mod4+Shift+Mod1+Ctrl+38 " +
                                                SwayHotKeyService::commandFor(::getpid(), *first),
                                            "bindcode --no-repeat 39 " + command}));

    sway.sendEvent("binding", I3IpcCodec::BindingEvent,
                   R"({"change":"run","binding":{"command":")" + command.toUtf8() + R"(","input_code":39}})");
    ASSERT_TRUE(waitUntil([&] { return pressed.count() == 1; }));
    EXPECT_EQ(pressed.at(0).at(0).toInt(), 8);

    // Released: unbound with the flags it was bound with (a sway matching bindings by their flags
    // would keep it otherwise), and its command fires nothing any more. releaseAll() releases the
    // same way, and that sway drops them shows under a real one (HeadlessSwayTest).
    EXPECT_TRUE(service.unregisterHotKey(*second));
    EXPECT_FALSE(service.unregisterHotKey(*second));
    EXPECT_EQ(sway.commands().last(), "unbindcode --no-repeat 39");
    sway.sendEvent("binding", I3IpcCodec::BindingEvent,
                   R"({"change":"run","binding":{"command":")" + command.toUtf8() + R"("}})");
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(pressed.count(), 1);
}

TEST(SwayHotKeys, ARefusedBindingIsNoHotKey)
{
    FakeSway sway;
    sway.setReply(I3IpcCodec::RunCommand,
                  R"([{"success":false,"parse_error":true,"error":"Invalid bindcode command"}])");
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    SwayHotKeyService service(sway.path());
    EXPECT_FALSE(service.registerHotKey(38, 0, "a", 7));
    EXPECT_EQ(log.count("Invalid bindcode command"), 1);
}

TEST(XkbLayoutDescriptionsRegistry, MapsKeymapNamesBack)
{
    const XkbLayoutDescriptions &registry = XkbLayoutDescriptions::registry();
    if (registry.isEmpty())
        GTEST_SKIP() << "the XKB registry (xkb-data) is not installed";
    EXPECT_EQ(registry.layoutOf("German"), "de");
    EXPECT_EQ(registry.layoutOf("German (no dead keys)"), "de(nodeadkeys)");
    EXPECT_FALSE(registry.layoutOf("Klingon"));
    EXPECT_EQ(registry.descriptionOf("de"), "German");
}

} // namespace
