#include <memory>

#include <gtest/gtest.h>

#include "FakeHidBackend.h"
#include "FakeX11Session.h"
#include "HidTestSupport.h"
#include "IOHIDWatcher.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NotificationRecorder.h"
#include "TestPrinters.h"

using namespace brevona;

namespace {

constexpr HidServiceProperties kStandardInterface{0x04D9, 0x0022, 6};
constexpr HidServiceProperties kMultimediaInterface{0x04D9, 0x0022, 1};
// Cookies deliberately differ from usages, so that a mix-up of the two shows.
constexpr HidCookie kKeyboardCookieBase = 1000;
constexpr HidCookie kConsumerCookieBase = 50000;

constexpr int kA = 0x04;
constexpr int kF13 = 0x68; // no name in the table
constexpr int kCapsLock = 0x39;
constexpr int kApp0 = 0x7E;
constexpr int kCtrlLeft = 0xE0;
constexpr int kShiftLeft = 0xE1;
constexpr int kWord = 0x184;
constexpr int kMail = 0x18A;
constexpr int kMute = 0xE2; // no name in the table

std::vector<HidElement> keyboardElements()
{
    std::vector<HidElement> elements;
    for (int usage = 0; usage <= 0xE7; ++usage)
        elements.push_back({kKeyboardCookieBase + usage, 7, usage, HidElementType::Button});
    // An element of another page on the same interface is not the keyboard's.
    elements.push_back({9999, 8, 1, HidElementType::Misc});
    return elements;
}

std::vector<HidElement> consumerElements()
{
    std::vector<HidElement> elements;
    for (int usage : {kMute, kWord, kMail})
        elements.push_back({kConsumerCookieBase + usage, 12, usage, HidElementType::Button});
    return elements;
}

class IOHIDWatcherTest : public ::testing::Test
{
protected:
    void plugKeyboard(const QHash<HidCookie, qint32> &keyboardValues = {},
                      const QHash<HidCookie, qint32> &consumerValues = {})
    {
        standard = backend.addInterface(kStandardInterface, keyboardElements(), keyboardValues);
        multimedia = backend.addInterface(kMultimediaInterface, consumerElements(), consumerValues);
    }
    void start(HidUsageTable table = test::sampleUsageTable())
    {
        watcher = IOHIDWatcher::create(backend, std::move(table), session);
        ASSERT_TRUE(watcher);
    }
    void key(int usage, qint32 value)
    {
        backend.report(standard, {{kKeyboardCookieBase + usage, HidElementType::Button, value}});
    }
    void media(int usage, qint32 value)
    {
        backend.report(multimedia, {{kConsumerCookieBase + usage, HidElementType::Button, value}});
    }

    FakeHidBackend backend;
    FakeX11Session session;
    std::unique_ptr<IOHIDWatcher> watcher;
    test::NotificationRecorder recorder{{notifications::HidKeyDown, notifications::HidKeyUp,
                                         notifications::HidKeyDownSpecial, notifications::HidKeyUpSpecial},
                                        {"down", "up", "down*", "up*"}};
    HidEntry standard = 0;
    HidEntry multimedia = 0;
};

TEST_F(IOHIDWatcherTest, FindsAKeyboardAttachedBeforeItStarts)
{
    plugKeyboard({{kKeyboardCookieBase + kShiftLeft, 1}});
    start();
    EXPECT_EQ(backend.matchedNumbers(), std::make_pair(0x04D9, 0x0022));
    EXPECT_TRUE(watcher->isKeyboardConnected());
    EXPECT_EQ(watcher->standardEntry(), standard);
    EXPECT_EQ(watcher->multimediaEntry(), multimedia);
    // The state at attach is taken over silently.
    EXPECT_TRUE(watcher->shiftState());
    EXPECT_TRUE(recorder.entries().isEmpty());
}

TEST_F(IOHIDWatcherTest, FollowsPluggingAndUnplugging)
{
    start();
    EXPECT_FALSE(watcher->isKeyboardConnected());
    plugKeyboard();
    EXPECT_TRUE(watcher->isKeyboardConnected());
    key(kShiftLeft, 1);
    EXPECT_TRUE(watcher->shiftState());
    backend.removeInterface(standard);
    EXPECT_FALSE(watcher->isKeyboardConnected());
    EXPECT_FALSE(watcher->shiftState());
    EXPECT_EQ(backend.closeCount(), 1);
}

TEST_F(IOHIDWatcherTest, PostsEveryStandardKeyChangeWithItsName)
{
    plugKeyboard();
    start();
    key(kA, 1);
    EXPECT_TRUE(watcher->isKeyPressed("A"));
    key(kA, 1); // a repeated value is reported again
    key(kA, 0);
    EXPECT_FALSE(watcher->isKeyPressed("A"));
    EXPECT_EQ(recorder.entries(), (QStringList{"down A", "down A", "up A"}));
}

TEST_F(IOHIDWatcherTest, DrainsTheWholeQueueOnOneWakeUp)
{
    plugKeyboard();
    start();
    backend.report(standard, {{kKeyboardCookieBase + kShiftLeft, HidElementType::Button, 1},
                              {kKeyboardCookieBase + kA, HidElementType::Button, 1},
                              {kKeyboardCookieBase + kA, HidElementType::Button, 0}});
    EXPECT_EQ(recorder.entries(), (QStringList{"down ShiftLeft", "down A", "up A"}));
}

TEST_F(IOHIDWatcherTest, NeverReportsUnnamedOrReservedUsages)
{
    plugKeyboard();
    QVariantMap standardNames{{"1", "Rollover"}, {"4", "A"}};
    start(HidUsageTable::fromDictionary({{"Standard", standardNames}}));
    key(kF13, 1);
    key(1, 1);
    key(0, 1);
    media(kMute, 1);
    EXPECT_TRUE(recorder.entries().isEmpty());
    EXPECT_FALSE(watcher->currentKeysTable().value("Rollover"));
    // Elements without a name are not even queued.
    key(kA, 1);
    EXPECT_EQ(recorder.entries(), (QStringList{"down A"}));
}

TEST_F(IOHIDWatcherTest, SpecialKeysOnlyPostTheirOwnNotifications)
{
    plugKeyboard();
    start();
    watcher->setSpecialActionKeys({"App0", "Word*"});
    key(kApp0, 1);
    EXPECT_FALSE(watcher->isKeyPressed("App0"));
    key(kApp0, 0);
    // Multimedia keys are never special.
    media(kWord, 1);
    EXPECT_EQ(recorder.entries(), (QStringList{"down* App0", "up* App0", "down Word*"}));
    watcher->setSpecialActionKeys({});
    key(kApp0, 1);
    EXPECT_TRUE(watcher->isKeyPressed("App0"));
    EXPECT_EQ(recorder.entries().last(), "down App0");
}

TEST_F(IOHIDWatcherTest, AKeyThatBecomesSpecialWhileHeldIsReleased)
{
    plugKeyboard();
    start();
    key(kCtrlLeft, 1);
    watcher->setSpecialActionKeys({"CtrlLeft"});
    key(kCtrlLeft, 0);
    EXPECT_FALSE(watcher->ctrlState());
    EXPECT_EQ(recorder.entries(), (QStringList{"down CtrlLeft", "up* CtrlLeft"}));
}

TEST_F(IOHIDWatcherTest, MultimediaKeysReportStateChangesOnly)
{
    plugKeyboard({}, {{kConsumerCookieBase + kMail, 1}});
    start();
    EXPECT_TRUE(watcher->isKeyPressed("Mail*")); // held at attach
    media(kWord, 1);
    media(kWord, 1); // no change: nothing
    media(kMute, 1); // unnamed: not queued, nothing to tell
    media(kWord, 0);
    EXPECT_EQ(recorder.entries(), (QStringList{"down Word*", "up Word*"}));

    // Each wake-up polls every element: a change the queue missed shows with the next one.
    recorder.clear();
    backend.setValueSilently(multimedia, kConsumerCookieBase + kMail, 0);
    media(kWord, 1);
    EXPECT_EQ(recorder.entries(), (QStringList{"down Word*", "up Mail*"}));
}

TEST_F(IOHIDWatcherTest, DetachingEitherInterfaceForgetsAllKeyStates)
{
    plugKeyboard();
    start();
    key(kShiftLeft, 1);
    media(kWord, 1);
    backend.removeInterface(multimedia);
    EXPECT_TRUE(watcher->isKeyboardConnected());
    EXPECT_FALSE(watcher->shiftState());
    EXPECT_TRUE(watcher->currentKeysTable().isEmpty());
    // The standard interface still reports.
    key(kA, 1);
    EXPECT_EQ(recorder.entries().last(), "down A");
}

TEST_F(IOHIDWatcherTest, IgnoresOtherDevicesAndCollections)
{
    start();
    const HidEntry otherKeyboard = backend.addInterface({0x046D, 0xC31C, 6}, keyboardElements());
    const HidEntry mouse = backend.addInterface({0x04D9, 0x0022, 2}, keyboardElements());
    EXPECT_FALSE(watcher->isKeyboardConnected());
    backend.report(otherKeyboard, {{kKeyboardCookieBase + kA, HidElementType::Button, 1}});
    backend.report(mouse, {{kKeyboardCookieBase + kA, HidElementType::Button, 1}});
    EXPECT_TRUE(recorder.entries().isEmpty());
    EXPECT_EQ(backend.openCount(), 0);
}

TEST_F(IOHIDWatcherTest, KeepsTheFirstOfTwoKeyboards)
{
    plugKeyboard();
    start();
    const HidEntry second = backend.addInterface(kStandardInterface, keyboardElements());
    EXPECT_EQ(watcher->standardEntry(), standard);
    backend.report(second, {{kKeyboardCookieBase + kA, HidElementType::Button, 1}});
    EXPECT_TRUE(recorder.entries().isEmpty());
    backend.removeInterface(second);
    EXPECT_TRUE(watcher->isKeyboardConnected());
}

TEST_F(IOHIDWatcherTest, LogsAnInterfaceThatCannotBeOpened)
{
    test::LogCapture log;
    backend.setOpenError(13);
    plugKeyboard();
    start();
    EXPECT_FALSE(watcher->isKeyboardConnected());
    EXPECT_TRUE(log.messages().contains("Can't create IOHIDInterface, error=0xDL"))
        << log.messages().join('\n').toStdString();
}

struct AttachFailureCase
{
    const char *name;
    bool queueFails;
    bool elementsFail;
};

class IOHIDWatcherAttachFailureTest : public IOHIDWatcherTest,
                                      public ::testing::WithParamInterface<AttachFailureCase>
{
};

TEST_P(IOHIDWatcherAttachFailureTest, StopsTheAttachAndClosesTheInterface)
{
    backend.setQueueCreationFails(GetParam().queueFails);
    backend.setElementCopyFails(GetParam().elementsFail);
    plugKeyboard({{kKeyboardCookieBase + kShiftLeft, 1}});
    start();
    EXPECT_FALSE(watcher->isKeyboardConnected());
    EXPECT_EQ(watcher->multimediaEntry(), 0u);
    EXPECT_FALSE(watcher->shiftState());
    EXPECT_EQ(backend.closeCount(), 2);
    key(kA, 1);
    EXPECT_TRUE(recorder.entries().isEmpty());
}

// clang-format off
const AttachFailureCase kIOHIDWatcherAttachFailureRows[] = {
    {.name = "queue", .queueFails = true, .elementsFail = false},
    {.name = "elements", .queueFails = false, .elementsFail = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Steps, IOHIDWatcherAttachFailureTest,
                         ::testing::ValuesIn(kIOHIDWatcherAttachFailureRows), brevona::test::RowName());

TEST_F(IOHIDWatcherTest, NoWatcherWhenTheBackendCannotWatch)
{
    backend.setStartFails(true);
    plugKeyboard();
    EXPECT_FALSE(IOHIDWatcher::create(backend, test::sampleUsageTable(), session));
}

TEST_F(IOHIDWatcherTest, CapsLockComesFromTheSessionNotTheKey)
{
    plugKeyboard();
    start();
    key(kCapsLock, 1);
    EXPECT_FALSE(watcher->isCapsLocked()); // no session state known
    key(kCapsLock, 0);
    session.setCapsLocked(true);
    EXPECT_TRUE(watcher->isCapsLocked());
}

TEST_F(IOHIDWatcherTest, AnObserverMayUnplugTheKeyboardMidQueue)
{
    plugKeyboard();
    start();
    NotificationCenter::defaultCenter().addObserver(
        this, notifications::HidKeyDown, [this](Notification &) { backend.removeInterface(standard); });
    backend.report(standard, {{kKeyboardCookieBase + kA, HidElementType::Button, 1},
                              {kKeyboardCookieBase + kA, HidElementType::Button, 0}});
    NotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_EQ(recorder.entries(), (QStringList{"down A"}));
    EXPECT_FALSE(watcher->isKeyboardConnected());
}

TEST_F(IOHIDWatcherTest, AGoneWatcherHearsNothing)
{
    plugKeyboard();
    start();
    watcher.reset();
    key(kA, 1);
    media(kWord, 1);
    backend.removeInterface(standard);
    EXPECT_TRUE(recorder.entries().isEmpty());
}

// isKeyPressed through the system's modifier remapping.
struct RemappedKeyCase
{
    const char *name;
    std::vector<ModifierRemapEntry> remapping;
    std::vector<int> held;
    const char *asked;
    bool pressed;
};

class IOHIDWatcherRemappingTest : public IOHIDWatcherTest,
                                  public ::testing::WithParamInterface<RemappedKeyCase>
{
};

TEST_P(IOHIDWatcherRemappingTest, AsksTheKeyThatNowActsAsTheName)
{
    session.setModifierRemapping(GetParam().remapping);
    plugKeyboard();
    start();
    for (int usage : GetParam().held)
        key(usage, 1);
    EXPECT_EQ(watcher->isKeyPressed(GetParam().asked), GetParam().pressed);
}

using namespace modifier_codes;
const ModifierRemapEntry kNoCaps{CapsLock, CtrlLeft};
const ModifierRemapEntry kCapsNone{CapsLock, None};
const std::vector<ModifierRemapEntry> kSwapCaps{{CapsLock, CtrlLeft}, {CtrlLeft, CapsLock}};

// clang-format off
const RemappedKeyCase kIOHIDWatcherRemappingRows[] = {
    {.name = "nocaps_caps_acts_as_ctrl", .remapping = {kNoCaps}, .held = {kCapsLock}, .asked = "CtrlLeft", .pressed = true},
    {.name = "nocaps_ctrl_stays_ctrl", .remapping = {kNoCaps}, .held = {kCtrlLeft}, .asked = "CtrlLeft", .pressed = true},
    {.name = "nocaps_ctrl_is_no_caps", .remapping = {kNoCaps}, .held = {kCtrlLeft}, .asked = "CapsLock", .pressed = false},
    {.name = "swap_ctrl_as_caps", .remapping = kSwapCaps, .held = {kCtrlLeft}, .asked = "CapsLock", .pressed = true},
    {.name = "swap_ctrl_not_ctrl", .remapping = kSwapCaps, .held = {kCtrlLeft}, .asked = "CtrlLeft", .pressed = false},
    {.name = "none_caps_is_nothing", .remapping = {kCapsNone}, .held = {kCapsLock}, .asked = "CapsLock", .pressed = false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, IOHIDWatcherRemappingTest, ::testing::ValuesIn(kIOHIDWatcherRemappingRows),
                         brevona::test::RowName());

TEST_F(IOHIDWatcherTest, ModifierStatesFollowTheRemapping)
{
    session.setModifierRemapping(std::vector<ModifierRemapEntry>{{AltLeft, CmdLeft}, {CmdLeft, AltLeft}});
    plugKeyboard();
    start();
    key(0xE2, 1); // the left Alt key, now acting as Command
    EXPECT_TRUE(watcher->cmdState());
    EXPECT_FALSE(watcher->altState());
    EXPECT_FALSE(watcher->ctrlState());
    EXPECT_FALSE(watcher->shiftState());
}

} // namespace
