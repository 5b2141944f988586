
#include <chrono>
#include <memory>
#include <thread>

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "HidTestSupport.h"
#include "KDModifierMappingReader.h"
#include "SSHidIdleTime.h"
#include "XvfbServer.h"
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

TEST_F(X11SessionTest, ReloadSeesANewSetting)
{
    ASSERT_TRUE(setOptions("ctrl:nocaps"));
    X11SystemModifiers session(s_server->display());
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft");
    ASSERT_TRUE(setOptions("caps:none"));
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft"); // read once
    reader.reload();
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "None");
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

TEST(X11WithoutServerTest, AnswersAsWithoutAnXServer)
{
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
