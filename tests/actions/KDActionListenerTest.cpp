#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHotKeyService.h"
#include "KDActionListener.h"
#include "KeyboardData.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
namespace hk = brevona::hotkey_modifiers;

namespace {

using Entries = std::vector<std::pair<QString, int>>;

int keyCode(const QString &key)
{
    const KeyboardData::Key *found = KeyboardData::shared().key(key);
    return found ? found->keyCode : 0;
}

// "A/s": key A with Shift; s(hift) c(ontrol) o(ption) m (command) l (Caps Lock).
std::pair<QString, int> entry(const QString &text)
{
    const QStringList parts = text.split('/');
    int modifiers = 0;
    for (QChar c : parts.value(1))
        modifiers |= c == 's'   ? hk::Shift
                     : c == 'c' ? hk::Control
                     : c == 'o' ? hk::Option
                     : c == 'm' ? hk::Command
                                : hk::CapsLock;
    return {parts[0], modifiers};
}

// Space-separated entries.
Entries entries(const char *text)
{
    Entries all;
    for (const QString &part : QString::fromLatin1(text).split(' ', Qt::SkipEmptyParts))
        all.push_back(entry(part));
    return all;
}

class ListenerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(KeyboardData::shared().isEmpty()) << "the keyboard data set is built before the tests";
        NotificationCenter::defaultCenter().addObserver(
            this, notifications::TriggerActionButton,
            [this](Notification &n) { fired.append(n.object().toString()); });
    }
    void TearDown() override { NotificationCenter::defaultCenter().removeObserver(this); }

    // One registration pass with exactly these entries.
    void pass(const Entries &wanted)
    {
        listener->beginActionRegistration();
        for (const auto &[key, modifiers] : wanted)
            listener->setupActionForButton(key, modifiers);
        listener->finishActionRegistration();
    }

    void hid(const QString &key, bool special = false)
    {
        NotificationCenter::defaultCenter().post(
            special ? notifications::HidKeyDownSpecial : notifications::HidKeyDown, key);
    }

    // Fired actions run on a later pass of the event loop.
    QStringList settle()
    {
        brevona::test::settle(std::chrono::milliseconds(0));
        return fired;
    }

    FakeHotKeyService service;
    double now = 1000.0;
    QList<QStringList> handed;
    std::unique_ptr<KDActionListener> listener = std::make_unique<KDActionListener>(
        service, [this] { return now; }, [this](const QStringList &keys) { handed.append(keys); });
    QStringList fired;
};

// --- registration passes ---------------------------------------------------------------------

struct DiffRow
{
    const char *name;
    const char *before;
    const char *after;
    const char *taken = ""; // held by another client
    int registers = 0;      // in the second pass
    int unregisters = 0;
    const char *held = ""; // as the session sees them
    const char *special = "";
};

class RegistrationDiffTest : public ListenerTest, public ::testing::WithParamInterface<DiffRow>
{
};

TEST_P(RegistrationDiffTest, SessionFollowsTheWantedEntries)
{
    const DiffRow &row = GetParam();
    for (const auto &[key, modifiers] : entries(row.taken))
        service.setTaken(keyCode(key), modifiers, true);
    pass(entries(row.before));
    service.resetCounts();
    pass(entries(row.after));

    EXPECT_EQ(service.registerCalls(), row.registers);
    EXPECT_EQ(service.unregisterCalls(), row.unregisters);
    const Entries held = entries(row.held);
    ASSERT_EQ(service.registrations().size(), held.size());
    for (const auto &[key, modifiers] : held)
        EXPECT_TRUE(service.isRegistered(keyCode(key), modifiers)) << key.toStdString() << "/" << modifiers;
    QStringList wanted;
    for (const auto &[key, modifiers] : entries(row.after))
        wanted.append(KDActionListener::entryFor(key, modifiers));
    EXPECT_EQ(listener->currentActionMap(), wanted);
    EXPECT_EQ(listener->specialKeys(), QString::fromLatin1(row.special).split(' ', Qt::SkipEmptyParts));
    EXPECT_EQ(listener->hotkeyIndexes().size(), qsizetype(held.size()));
}

// clang-format off
const DiffRow kDiffRows[] = {
    {.name = "Unchanged", .before = "A B/s App3", .after = "A B/s App3", .held = "A B/s"},
    {.name = "CapsLockLayerWithoutTheBit", .before = "", .after = "A/sl", .registers = 1, .held = "A/s"},
    {.name = "NewMaskSwaps", .before = "A", .after = "A/co", .registers = 1, .unregisters = 1, .held = "A/co"},
    {.name = "KeyThatLeavesIsReleased", .before = "A B", .after = "B", .unregisters = 1, .held = "B"},
    {.name = "ApplicationKeysNeverReachTheSession", .before = "", .after = "App0 App9/m"},
    {.name = "ModifierKeyIsSpecial", .before = "", .after = "CtrlLeft A", .registers = 1, .held = "A", .special = "CtrlLeft"},
    {.name = "ModifierKeyStaysSpecial", .before = "AltRight AltRight/s", .after = "AltRight/s", .special = "AltRight"},
    {.name = "HeldElsewhereStaysUnregistered", .before = "", .after = "A B", .taken = "A", .registers = 2, .held = "B"},
    {.name = "MasksAlikeForTheSession", .before = "A", .after = "A/l", .registers = 1, .unregisters = 1, .held = "A"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, RegistrationDiffTest, ::testing::ValuesIn(kDiffRows),
                         brevona::test::RowName());

TEST_F(ListenerTest, IdsAreTheLowestFreeNumbersWithTheirSignatures)
{
    pass({{"A", 0}, {"B", 0}, {"C", 0}});
    std::map<int, QString> signatures;
    for (const auto &[reference, registration] : service.registrations())
        signatures[registration.id] = registration.signature;
    EXPECT_EQ(signatures, (std::map<int, QString>{{1, "a  1"}, {2, "a  2"}, {3, "a  3"}}));

    pass({{"A", 0}, {"C", 0}, {"D", 0}});
    EXPECT_EQ(listener->registeredHotkeys().value(QStringLiteral("D/0")).number, 2) << "B's id is free again";
}

TEST_F(ListenerTest, RefusedReleaseKeepsTheIdAndTheHotKeyStopsFiring)
{
    pass({{"A", 0}});
    service.setRefusesUnregistration(true);
    pass({});
    EXPECT_TRUE(listener->registeredHotkeys().contains(QStringLiteral("A/0")));
    EXPECT_TRUE(listener->hotkeyIndexes().contains(1));

    pass({{"B", 0}});
    EXPECT_EQ(listener->registeredHotkeys().value(QStringLiteral("B/0")).number, 2);

    // The session still delivers A's hot key, but A has no action now.
    hid("A");
    EXPECT_TRUE(service.press(keyCode("A"), 0));
    EXPECT_TRUE(settle().isEmpty());

    // Coming back, A uses the hot key it still holds.
    service.resetCounts();
    pass({{"B", 0}, {"A", 0}});
    EXPECT_EQ(service.registerCalls(), 0);
    now += 1;
    hid("A");
    service.press(keyCode("A"), 0);
    EXPECT_EQ(settle(), QStringList{"A"});
}

TEST_F(ListenerTest, RefusedRegistrationIsTriedAgainOnlyAfterTheKeyLeft)
{
    service.setTaken(keyCode("A"), 0, true);
    pass({{"A", 0}});
    service.setTaken(keyCode("A"), 0, false);
    service.resetCounts();
    pass({{"A", 0}});
    EXPECT_EQ(service.registerCalls(), 0);
    EXPECT_FALSE(listener->isKeyRegistered(keyCode("A"), 0));
    pass({});
    pass({{"A", 0}});
    EXPECT_EQ(service.registerCalls(), 1);
    EXPECT_TRUE(listener->isKeyRegistered(keyCode("A"), 0));
}

TEST_F(ListenerTest, IsKeyRegisteredLooksAtKeyCodeAndMask)
{
    pass({{"A", hk::Shift | hk::CapsLock}, {"App1", 0}});
    EXPECT_TRUE(listener->isKeyRegistered(keyCode("A"), hk::Shift));
    EXPECT_TRUE(listener->isKeyRegistered(keyCode("A"), hk::Shift | hk::CapsLock));
    EXPECT_FALSE(listener->isKeyRegistered(keyCode("A"), 0));
}

TEST_F(ListenerTest, UnregisterAllHotkeysReleasesEverything)
{
    pass({{"A", 0}, {"B", hk::Shift}, {"ShiftRight", 0}});
    listener->unregisterAllHotkeys();
    EXPECT_TRUE(service.registrations().empty());
    EXPECT_TRUE(listener->registeredHotkeys().isEmpty());
    EXPECT_TRUE(listener->hotkeyIndexes().isEmpty());
    EXPECT_TRUE(listener->currentActionMap().isEmpty());
    EXPECT_EQ(handed, (QList<QStringList>{{"ShiftRight"}, {}}));
}

TEST_F(ListenerTest, SpecialKeysAreHandedOverWhenTheyChange)
{
    pass({{"CtrlLeft", 0}});
    pass({{"CtrlLeft", 0}, {"A", 0}});
    pass({{"CtrlLeft", 0}, {"CapsLock", 0}});
    pass({});
    EXPECT_EQ(handed, (QList<QStringList>{{"CtrlLeft"}, {"CtrlLeft", "CapsLock"}, {}}));
}

TEST_F(ListenerTest, RemovedEntryLeavesThePendingPass)
{
    listener->beginActionRegistration();
    listener->setupActionForButton(QStringLiteral("A"), 0);
    listener->setupActionForButton(QStringLiteral("A"), 0);
    listener->setupActionForButton(QStringLiteral("B"), 0);
    listener->removeActionForButton(QStringLiteral("B"), 0);
    listener->removeActionForButton(QStringLiteral("C"), 0);
    EXPECT_EQ(listener->dynamicActionMap(), QStringList{"A/0"});
    listener->finishActionRegistration();
    EXPECT_EQ(service.registrations().size(), 1u);
}

// --- matching the two sources ----------------------------------------------------------------

struct MatchRow
{
    const char *name;
    const char *actions;
    // Space-separated events "key@seconds": a key-down from the keyboard ("!key": of a modifier
    // key), or "*key/modifiers@seconds": the session's hot key.
    const char *events;
    const char *fired;
};

class MatchingTest : public ListenerTest, public ::testing::WithParamInterface<MatchRow>
{
};

TEST_P(MatchingTest, FiresWhatBothSourcesAgreeOn)
{
    pass(entries(GetParam().actions));
    const double start = now;
    for (const QString &event : QString::fromLatin1(GetParam().events).split(' ')) {
        const QStringList parts = event.split('@');
        now = start + parts[1].toDouble();
        if (parts[0].startsWith('*')) {
            const auto [key, modifiers] = entry(parts[0].mid(1));
            service.press(keyCode(key), modifiers);
        } else {
            hid(parts[0].startsWith('!') ? parts[0].mid(1) : parts[0], parts[0].startsWith('!'));
        }
    }
    EXPECT_TRUE(fired.isEmpty()) << "firing waits for a later pass of the event loop";
    EXPECT_EQ(settle().join(' '), QLatin1String(GetParam().fired));
}

const MatchRow kMatchRows[] = {
    {.name = "KeyDownThenHotKey", .actions = "A", .events = "A@0 *A@.03", .fired = "A"},
    {.name = "HotKeyThenKeyDownJustInTime", .actions = "A", .events = "*A@0 A@.049", .fired = "A"},
    {.name = "TooFarApart", .actions = "A", .events = "A@0 *A@.051", .fired = ""},
    {.name = "HotKeyFromAnotherKeyboard", .actions = "A", .events = "*A@0", .fired = ""},
    {.name = "KeyDownWithoutHotKey", .actions = "A", .events = "A@0", .fired = ""},
    {.name = "KeysTypedRightAfter", .actions = "A B", .events = "A@0 *A@.01 C@.02 D@.03", .fired = "A"},
    {.name = "TwoPressesFireTwice", .actions = "A", .events = "A@0 *A@.01 A@.3 *A@.31", .fired = "A A"},
    {.name = "InterleavedKeysPairUp", .actions = "A B", .events = "A@0 B@.01 *B@.02 *A@.03", .fired = "B A"},
    {.name = "OtherModifiersTakeNoHotKey", .actions = "A/s", .events = "A@0 *A@.01", .fired = ""},
    {.name = "LayerModifiersHeld", .actions = "A/s", .events = "A@0 *A/s@.01", .fired = "A"},
    {.name = "CapsLockLayerFires", .actions = "A/sl", .events = "A@0 *A/s@.01", .fired = "A"},
    {.name = "ApplicationKeyByMultimediaName", .actions = "App3", .events = "Calender*@0", .fired = "App3"},
    {.name = "ApplicationKeyByOwnName", .actions = "", .events = "App7@0", .fired = "App7"},
    {.name = "ModifierKeyWithAction", .actions = "CtrlLeft", .events = "!CtrlLeft@0", .fired = "CtrlLeft"},
    {.name = "ModifierKeyWithoutAction", .actions = "A", .events = "CtrlLeft@0", .fired = ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, MatchingTest, ::testing::ValuesIn(kMatchRows), brevona::test::RowName());

TEST_F(ListenerTest, HotKeyOfAnEntryNoLongerWantedIsIgnored)
{
    pass({{"A", 0}});
    const int id = listener->registeredHotkeys().value(QStringLiteral("A/0")).number;
    pass({});
    hid("A");
    listener->triggerHotkeyEvent(id);
    listener->triggerHotkeyEvent(777);
    EXPECT_TRUE(settle().isEmpty());
}

} // namespace
