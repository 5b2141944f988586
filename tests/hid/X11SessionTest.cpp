
#include <chrono>
#include <memory>
#include <thread>

#include <QProcess>

#include <gtest/gtest.h>

#include "FakeHidBackend.h"
#include "HidTestSupport.h"
#include "HotKeyService.h"
#include "IOHIDWatcher.h"
#include "KDModifierMappingReader.h"
#include "SSHidIdleTime.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "XvfbTest.h"
#include "linux/X11HotKeyService.h"
#include "linux/X11IdleTimeSource.h"
#include "linux/X11SystemModifiers.h"

using namespace brevona;
using namespace std::chrono_literals;

namespace {

class X11SessionTest : public test::XvfbTest
{
public:
    static void SetUpTestSuite() { startServer({.tools = {"xdotool", "setxkbmap"}}); }

protected:
    bool setOptions(const QString &options) const
    {
        return server().run(QStringLiteral("setxkbmap"),
                            {"-layout", "us", "-option", "", "-option", options});
    }
};

TEST_F(X11SessionTest, IdleTimeGrowsThenResetsAfterAKeyPress)
{
    X11IdleTimeSource source(display());
    const SSHidIdleTime idle(source);
    ASSERT_TRUE(server().run("xdotool", {"key", "shift"}));
    const quint64 before = idle.idleTime();
    std::this_thread::sleep_for(1500ms);
    const quint64 later = idle.idleTime();
    EXPECT_GE(later, before + 1'000'000'000ULL);
    EXPECT_GE(idle.idleTimeInSeconds(), 1u);

    ASSERT_TRUE(server().run("xdotool", {"key", "shift"}));
    EXPECT_TRUE(test::waitUntil([&] { return idle.idleTime() < later; }));
    EXPECT_LT(idle.idleTime(), 1'000'000'000ULL);
}

TEST_F(X11SessionTest, FollowsANewSetting)
{
    ASSERT_TRUE(setOptions("ctrl:nocaps"));
    X11SystemModifiers session(display());
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft");
    ASSERT_TRUE(setOptions("caps:none"));
    EXPECT_TRUE(test::waitUntil([&] { return reader.getMappingOfModifier("CapsLock") == "None"; }));
}

TEST_F(X11SessionTest, CapsLockFollowsTheXkbState)
{
    ASSERT_TRUE(setOptions(""));
    X11SystemModifiers session(display());
    ASSERT_EQ(session.isCapsLocked(), false);
    ASSERT_TRUE(server().run("xdotool", {"key", "Caps_Lock"}));
    EXPECT_TRUE(test::waitUntil([&] { return session.isCapsLocked() == true; }));
    ASSERT_TRUE(server().run("xdotool", {"key", "Caps_Lock"}));
    EXPECT_TRUE(test::waitUntil([&] { return session.isCapsLocked() == false; }));
}

// Whether a key counts as Option, for the modifier conditions and for the hot keys, under a layout.
struct OptionKeyCase
{
    const char *name;
    const char *layout;
    int usage;          // the key on this keyboard
    const char *keysym; // the same key typed in the session
    bool isOption;
};

class X11OptionKeyTest : public X11SessionTest, public ::testing::WithParamInterface<OptionKeyCase>
{
};

TEST_P(X11OptionKeyTest, ConditionsAndHotKeysAgree)
{
    ASSERT_TRUE(server().run("setxkbmap", {"-layout", GetParam().layout, "-option", ""}));
    X11SystemModifiers session(display());
    FakeHidBackend backend;
    std::vector<HidElement> elements;
    for (int usage = 0; usage <= 0xE7; ++usage)
        elements.push_back({HidCookie(usage + 1), 7, usage, HidElementType::Button});
    const HidEntry keyboard = backend.addInterface({0x04D9, 0x0022, 6}, elements);
    auto watcher = IOHIDWatcher::create(backend, test::sampleUsageTable(), session);
    ASSERT_TRUE(watcher);
    backend.report(keyboard, {{HidCookie(GetParam().usage + 1), HidElementType::Button, 1}});

    X11HotKeyService hotKeys(display());
    int fired = 0;
    QObject::connect(&hotKeys, &HotKeyService::hotKeyPressed, [&fired](int id) { fired |= id; });
    constexpr int KeyA = 38;
    constexpr int KeyC = 54;
    ASSERT_TRUE(hotKeys.registerHotKey(KeyA, hotkey_modifiers::Option, "a  1", 1));
    ASSERT_TRUE(hotKeys.registerHotKey(KeyC, 0, "a  2", 2));
    const QString held = QString::fromLatin1(GetParam().keysym);
    ASSERT_TRUE(server().run("xdotool", {"keydown", held, "key", "a", "keyup", held, "key", "c"}));
    // C, typed last, comes after whatever A brought.
    ASSERT_TRUE(test::waitUntil([&] { return fired & 2; }));
    EXPECT_EQ(watcher->altState(), GetParam().isOption);
    EXPECT_EQ((fired & 1) != 0, GetParam().isOption);
}

// clang-format off
const OptionKeyCase kX11OptionKeyRows[] = {
    {.name = "us_right_alt", .layout = "us", .usage = 0xE6, .keysym = "Alt_R", .isOption = true},
    {.name = "de_altgr", .layout = "de", .usage = 0xE6, .keysym = "ISO_Level3_Shift", .isOption = false},
    {.name = "de_left_alt", .layout = "de", .usage = 0xE2, .keysym = "Alt_L", .isOption = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, X11OptionKeyTest, ::testing::ValuesIn(kX11OptionKeyRows),
                         brevona::test::RowName());

} // namespace
