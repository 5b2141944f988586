// The X11 hot keys against a real server (Xvfb), with keys typed by xdotool as by any keyboard.
#include <algorithm>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "TestPrinters.h"
#include "Wait.h"
#include "X11TestWindow.h"
#include "XvfbTest.h"
#include "linux/X11HotKeyService.h"

using namespace brevona;
using namespace brevona::test;
namespace hk = brevona::hotkey_modifiers;

namespace {

// Key codes of the server's default (evdev) keymap.
constexpr int KeyA = 38;
constexpr int KeyB = 56;
constexpr int KeyC = 54;

bool contains(const std::vector<int> &ids, int id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class X11HotKeyTest : public XvfbTest
{
protected:
    static void SetUpTestSuite() { startServer({.tools = {"xdotool"}}); }

    void SetUp() override
    {
        XvfbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        service = std::make_unique<X11HotKeyService>(display());
        QObject::connect(service.get(), &HotKeyService::hotKeyPressed,
                         [this](int id) { pressed.push_back(id); });
    }

    bool type(const QString &keys)
    {
        return server().run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
    }

    // The ids of the hot keys pressed so far, once `count` of them came or the time ran out.
    std::vector<int> waitForPresses(int count, std::chrono::milliseconds timeout = std::chrono::seconds(3))
    {
        (void)waitUntil([&] { return int(pressed.size()) >= count; }, timeout);
        return pressed;
    }

    // Types `keys` and then the fence key, whose hot key `fenceId` must come; the server delivers
    // in order, so whatever `keys` caused has arrived by then.
    std::vector<int> typeThenFence(const QString &keys, int fenceId)
    {
        pressed.clear();
        EXPECT_TRUE(type(keys));
        EXPECT_TRUE(type(QStringLiteral("c")));
        EXPECT_TRUE(waitUntil([&] { return contains(pressed, fenceId); })) << "the fence key did not come";
        std::erase(pressed, fenceId);
        return pressed;
    }

    std::unique_ptr<X11HotKeyService> service;
    std::vector<int> pressed;
};

struct MaskRow
{
    const char *name;
    int modifiers;
    const char *fires;
    const char *doesNotFire;
};

class X11HotKeyMaskTest : public X11HotKeyTest, public ::testing::WithParamInterface<MaskRow>
{
};

TEST_P(X11HotKeyMaskTest, FiresForExactlyItsModifiers)
{
    const MaskRow &row = GetParam();
    ASSERT_TRUE(service->registerHotKey(KeyA, row.modifiers, QStringLiteral("a  7"), 7));
    ASSERT_TRUE(service->registerHotKey(KeyC, 0, QStringLiteral("a  9"), 9));
    EXPECT_EQ(typeThenFence(QLatin1String(row.fires), 9), std::vector<int>{7});
    EXPECT_EQ(typeThenFence(QLatin1String(row.doesNotFire), 9), std::vector<int>{});
}

constexpr int kAllFour = hk::Command | hk::Shift | hk::Option | hk::Control;

// clang-format off
const MaskRow kMaskRows[] = {
    {.name = "None", .modifiers = 0, .fires = "a", .doesNotFire = "shift+a"},
    {.name = "OptionIsAlt", .modifiers = hk::Option, .fires = "alt+a", .doesNotFire = "super+a"},
    {.name = "AllFour", .modifiers = kAllFour, .fires = "super+shift+alt+ctrl+a", .doesNotFire = "super+shift+alt+a"},
    {.name = "CapsLockBitIgnored", .modifiers = hk::Shift | hk::CapsLock, .fires = "shift+a", .doesNotFire = "a"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, X11HotKeyMaskTest, ::testing::ValuesIn(kMaskRows), RowName());

TEST_F(X11HotKeyTest, FiresWhateverLockIsOn)
{
    ASSERT_TRUE(service->registerHotKey(KeyA, hk::Control, QStringLiteral("a  1"), 1));
    ASSERT_TRUE(service->registerHotKey(KeyC, 0, QStringLiteral("a  2"), 2));
    EXPECT_NE(service->numLockMask(), 0) << "the default keymap puts Num_Lock on a modifier";
    ASSERT_TRUE(type(QStringLiteral("Caps_Lock")));
    EXPECT_EQ(typeThenFence(QStringLiteral("ctrl+a"), 2), std::vector<int>{1}) << "Caps Lock on";
    ASSERT_TRUE(type(QStringLiteral("Num_Lock")));
    EXPECT_EQ(typeThenFence(QStringLiteral("ctrl+a"), 2), std::vector<int>{1}) << "both on";
    ASSERT_TRUE(type(QStringLiteral("Caps_Lock")));
    EXPECT_EQ(typeThenFence(QStringLiteral("ctrl+a"), 2), std::vector<int>{1}) << "Num Lock on";
    ASSERT_TRUE(type(QStringLiteral("Num_Lock")));
    EXPECT_EQ(typeThenFence(QStringLiteral("ctrl+a"), 2), std::vector<int>{1}) << "both off";
}

TEST_F(X11HotKeyTest, GrabKeepsTheKeyFromTheFocusedWindow)
{
    X11TestWindow window(display());
    ASSERT_TRUE(window.hasFocus());
    const auto reference = service->registerHotKey(KeyA, 0, QStringLiteral("a  3"), 3);
    ASSERT_TRUE(reference);
    ASSERT_TRUE(type(QStringLiteral("a")));
    ASSERT_TRUE(type(QStringLiteral("b")));
    EXPECT_EQ(window.keyPressesUntil(KeyB), std::vector<int>{KeyB});
    EXPECT_EQ(waitForPresses(1), std::vector<int>{3});

    // Released, the key reaches the window again.
    EXPECT_TRUE(service->unregisterHotKey(*reference));
    EXPECT_FALSE(service->unregisterHotKey(*reference));
    ASSERT_TRUE(type(QStringLiteral("a")));
    ASSERT_TRUE(type(QStringLiteral("b")));
    EXPECT_EQ(window.keyPressesUntil(KeyB), (std::vector<int>{KeyA, KeyB}));
    EXPECT_EQ(waitForPresses(2, std::chrono::milliseconds(300)), std::vector<int>{3});
}

TEST_F(X11HotKeyTest, CombinationHeldByAnotherClientIsRefused)
{
    // Another program grabs B with Caps Lock only: one of the variants the service needs.
    const QByteArray name = display().toLocal8Bit();
    xcb_connection_t *other = xcb_connect(name.constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    ASSERT_EQ(xcb_request_check(other, xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_LOCK, KeyB,
                                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
              nullptr);
    ASSERT_TRUE(service->registerHotKey(KeyC, 0, QStringLiteral("a  2"), 2));
    EXPECT_FALSE(service->registerHotKey(KeyB, 0, QStringLiteral("a  1"), 1));
    xcb_disconnect(other);

    // Nothing of the refused hot key stayed behind.
    EXPECT_EQ(typeThenFence(QStringLiteral("b"), 2), std::vector<int>{});
}

TEST_F(X11HotKeyTest, SameCombinationTwiceIsRefused)
{
    ASSERT_TRUE(service->registerHotKey(KeyA, hk::Shift, QStringLiteral("a  1"), 1));
    EXPECT_FALSE(service->registerHotKey(KeyA, hk::Shift | hk::CapsLock, QStringLiteral("a  2"), 2));
    EXPECT_FALSE(service->registerHotKey(0, 0, QStringLiteral("a  3"), 3)) << "a key without key code";
    ASSERT_TRUE(service->registerHotKey(KeyC, 0, QStringLiteral("a  4"), 4));
    EXPECT_EQ(typeThenFence(QStringLiteral("shift+a"), 4), std::vector<int>{1});
}

} // namespace
