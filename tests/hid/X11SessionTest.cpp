
#include <chrono>
#include <memory>
#include <thread>

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "FakeHidBackend.h"
#include "HidTestSupport.h"
#include "HotKeyService.h"
#include "IOHIDWatcher.h"
#include "KDModifierMappingReader.h"
#include "SSHidIdleTime.h"
#include "XvfbServer.h"
#include "linux/X11HotKeyService.h"
#include "linux/X11IdleTimeSource.h"
#include "linux/X11SystemModifiers.h"

using namespace brevona;
using namespace std::chrono_literals;

namespace {

template<typename Predicate> bool eventually(Predicate predicate)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (predicate())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return predicate();
}

class X11SessionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        test::ensureApplication();
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        s_server = std::make_unique<test::XvfbServer>();
        if (!s_server->start())
            s_server.reset();
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(s_server) << "Xvfb did not start";
        for (const char *tool : {"xdotool", "setxkbmap"})
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is missing";
    }

    bool setOptions(const QString &options) const
    {
        return s_server->run(QStringLiteral("setxkbmap"),
                             {"-layout", "us", "-option", "", "-option", options});
    }

    static std::unique_ptr<test::XvfbServer> s_server;
};

std::unique_ptr<test::XvfbServer> X11SessionTest::s_server;

TEST_F(X11SessionTest, IdleTimeGrowsThenResetsAfterAKeyPress)
{
    X11IdleTimeSource source(s_server->display());
    const SSHidIdleTime idle(source);
    ASSERT_TRUE(s_server->run("xdotool", {"key", "shift"}));
    const quint64 before = idle.idleTime();
    std::this_thread::sleep_for(1500ms);
    const quint64 later = idle.idleTime();
    EXPECT_GE(later, before + 1'000'000'000ULL);
    EXPECT_GE(idle.idleTimeInSeconds(), 1u);

    ASSERT_TRUE(s_server->run("xdotool", {"key", "shift"}));
    EXPECT_TRUE(eventually([&] { return idle.idleTime() < later; }));
    EXPECT_LT(idle.idleTime(), 1'000'000'000ULL);
}

struct OptionsCase
{
    const char *description;
    const char *options;
    QHash<QString, QString> map;
};

class X11ModifierOptionsTest : public X11SessionTest, public ::testing::WithParamInterface<OptionsCase>
{
};

TEST_P(X11ModifierOptionsTest, ReadsTheSessionsXkbOptions)
{
    ASSERT_TRUE(setOptions(GetParam().options));
    X11SystemModifiers session(s_server->display());
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMap(), GetParam().map);
}

INSTANTIATE_TEST_SUITE_P(Rows, X11ModifierOptionsTest,
                         ::testing::Values(OptionsCase{"nocaps", "ctrl:nocaps", {{"CapsLock", "CtrlLeft"}}},
                                           OptionsCase{"caps_none", "caps:none", {{"CapsLock", "None"}}},
                                           OptionsCase{"swapcaps",
                                                       "ctrl:swapcaps",
                                                       {{"CapsLock", "CtrlLeft"}, {"CtrlLeft", "CapsLock"}}},
                                           OptionsCase{"two_options",
                                                       "altwin:swap_alt_win,grp:alt_shift_toggle",
                                                       {{"AltLeft", "CmdLeft"},
                                                        {"CmdLeft", "AltLeft"},
                                                        {"AltRight", "CmdRight"},
                                                        {"CmdRight", "AltRight"}}},
                                           OptionsCase{"cleared", "", {}}),
                         [](const auto &info) { return std::string(info.param.description); });

TEST_F(X11SessionTest, FollowsANewSetting)
{
    ASSERT_TRUE(setOptions("ctrl:nocaps"));
    X11SystemModifiers session(s_server->display());
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft");
    ASSERT_TRUE(setOptions("caps:none"));
    EXPECT_TRUE(test::pumpUntil([&] { return reader.getMappingOfModifier("CapsLock") == "None"; }));
}

TEST_F(X11SessionTest, CapsLockFollowsTheXkbState)
{
    ASSERT_TRUE(setOptions(""));
    X11SystemModifiers session(s_server->display());
    ASSERT_EQ(session.isCapsLocked(), false);
    ASSERT_TRUE(s_server->run("xdotool", {"key", "Caps_Lock"}));
    EXPECT_TRUE(eventually([&] { return session.isCapsLocked() == true; }));
    ASSERT_TRUE(s_server->run("xdotool", {"key", "Caps_Lock"}));
    EXPECT_TRUE(eventually([&] { return session.isCapsLocked() == false; }));
}

// Whether a key counts as Option, for the modifier conditions and for the hot keys, under a layout.
struct OptionKeyCase
{
    const char *description;
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
    ASSERT_TRUE(s_server->run("setxkbmap", {"-layout", GetParam().layout, "-option", ""}));
    X11SystemModifiers session(s_server->display());
    FakeHidBackend backend;
    std::vector<HidElement> elements;
    for (int usage = 0; usage <= 0xE7; ++usage)
        elements.push_back({HidCookie(usage + 1), 7, usage, HidElementType::Button});
    const HidEntry keyboard = backend.addInterface({0x04D9, 0x0022, 6}, elements);
    auto watcher = IOHIDWatcher::create(backend, test::sampleUsageTable(), session);
    ASSERT_TRUE(watcher);
    backend.report(keyboard, {{HidCookie(GetParam().usage + 1), HidElementType::Button, 1}});

    X11HotKeyService hotKeys(s_server->display());
    int fired = 0;
    QObject::connect(&hotKeys, &HotKeyService::hotKeyPressed, [&fired](int id) { fired |= id; });
    constexpr int KeyA = 38;
    constexpr int KeyC = 54;
    ASSERT_TRUE(hotKeys.registerHotKey(KeyA, hotkey_modifiers::Option, "a  1", 1));
    ASSERT_TRUE(hotKeys.registerHotKey(KeyC, 0, "a  2", 2));
    const QString held = QString::fromLatin1(GetParam().keysym);
    ASSERT_TRUE(s_server->run("xdotool", {"keydown", held, "key", "a", "keyup", held, "key", "c"}));
    // C, typed last, comes after whatever A brought.
    ASSERT_TRUE(test::pumpUntil([&] { return fired & 2; }));
    EXPECT_EQ(watcher->altState(), GetParam().isOption);
    EXPECT_EQ((fired & 1) != 0, GetParam().isOption);
}

INSTANTIATE_TEST_SUITE_P(Rows, X11OptionKeyTest,
                         ::testing::Values(OptionKeyCase{"us_right_alt", "us", 0xE6, "Alt_R", true},
                                           OptionKeyCase{"de_altgr", "de", 0xE6, "ISO_Level3_Shift", false},
                                           OptionKeyCase{"de_left_alt", "de", 0xE2, "Alt_L", true}),
                         [](const auto &info) { return std::string(info.param.description); });

TEST(X11WithoutServerTest, AnswersAsWithoutAnXServer)
{
    test::ensureApplication();
    // No server listens on this display number.
    const QString display = QStringLiteral(":31999");
    X11IdleTimeSource idleSource(display);
    X11SystemModifiers modifiers(display);
    EXPECT_EQ(idleSource.idleNanoseconds(), std::nullopt);
    EXPECT_EQ(SSHidIdleTime(idleSource).idleTimeInSeconds(), 0u);
    EXPECT_EQ(modifiers.modifierRemapping(), std::nullopt);
    EXPECT_EQ(modifiers.isCapsLocked(), std::nullopt);
    KDModifierMappingReader reader(modifiers);
    EXPECT_TRUE(reader.getMap().isEmpty());
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CapsLock");
}

} // namespace
