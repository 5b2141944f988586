// The sway backends' language and hot keys over a stand-in socket: a headless sway has neither
// keyboards nor key presses. The payloads are sway's, as its documentation shows them.
#include <unistd.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "FakeSwaySocket.h"
#include "LogCapture.h"
#include "Wait.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayHotKeyService.h"
#include "wayland/SwayLanguageSource.h"
#include "wayland/XkbLayoutDescriptions.h"

using namespace brevona;
using namespace brevona::test;

namespace {

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
    FakeSwaySocket sway;
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

TEST(SwayLanguage, NothingWithoutKeyboardsOrSocket)
{
    FakeSwaySocket sway;
    sway.setReply(I3IpcCodec::GetInputs, "[]");
    SwayLanguageSource source(sway.path(), &kDescriptions);
    EXPECT_FALSE(source.layouts());
    EXPECT_FALSE(source.currentIndex());

    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    SwayLanguageSource nowhere(sway.path() + QStringLiteral(".gone"), &kDescriptions);
    EXPECT_FALSE(nowhere.layouts());
    EXPECT_FALSE(nowhere.currentIndex());
    EXPECT_EQ(log.count("Cannot reach sway's IPC socket"), 1);
}

TEST(SwayHotKeys, BindingEventsOfThisProcessArePresses)
{
    FakeSwaySocket sway;
    SwayHotKeyService service(sway.path());
    QSignalSpy pressed(&service, &HotKeyService::hotKeyPressed);
    const auto first =
        service.registerHotKey(38, hotkey_modifiers::Command | hotkey_modifiers::Shift, "a", 7);
    const auto second = service.registerHotKey(39, 0, "b", 8);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(service.registerHotKey(38, hotkey_modifiers::Command | hotkey_modifiers::Shift, "c", 9));
    EXPECT_FALSE(service.registerHotKey(3, 0, "d", 10));
    const QString command = SwayHotKeyService::commandFor(::getpid(), *second);
    EXPECT_EQ(sway.commands(), QStringList({"bindcode --no-repeat Mod4+Shift+38 " +
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
    FakeSwaySocket sway;
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
    EXPECT_EQ(registry.layoutOf("English (US)"), "us");
    EXPECT_EQ(registry.layoutOf("German"), "de");
    EXPECT_EQ(registry.layoutOf("German (no dead keys)"), "de(nodeadkeys)");
    EXPECT_EQ(registry.layoutOf("English (UK)"), "gb");
    EXPECT_FALSE(registry.layoutOf("Klingon"));
    EXPECT_EQ(registry.descriptionOf("de"), "German");
}

} // namespace
