#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "FakeHotKeyService.h"
#include "KDActionListener.h"
#include "KeyboardData.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

using namespace brevona;
namespace hk = brevona::hotkey_modifiers;

namespace {

using Entries = std::vector<std::pair<const char *, int>>;

int keyCode(const QString &key)
{
    const KeyboardData::Key *found = KeyboardData::shared().key(key);
    return found ? found->keyCode : 0;
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
    void pass(const Entries &entries)
    {
        listener->beginActionRegistration();
        for (const auto &[key, modifiers] : entries)
            listener->setupActionForButton(QLatin1String(key), modifiers);
        listener->finishActionRegistration();
    }

    void hid(const char *key, bool special = false)
    {
        NotificationCenter::defaultCenter().post(
            special ? notifications::HidKeyDownSpecial : notifications::HidKeyDown, QString::fromLatin1(key));
    }

    // Fired actions run on a later pass of the event loop.
    QStringList settle()
    {
        QCoreApplication::processEvents();
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

struct DiffCase
{
    const char *name;
    Entries before;
    Entries after;
    Entries takenBySomeoneElse; // key, modifiers
    int registersInSecondPass;
    int unregistersInSecondPass;
    Entries sessionHolds; // key, modifiers as the session sees them
    QStringList specialKeys;
};

void PrintTo(const DiffCase &c, std::ostream *os)
{
    *os << c.name;
}

class RegistrationDiffTest : public ListenerTest, public ::testing::WithParamInterface<DiffCase>
{
};

TEST_P(RegistrationDiffTest, SessionFollowsTheWantedEntries)
{
    const DiffCase &c = GetParam();
    for (const auto &[key, modifiers] : c.takenBySomeoneElse)
        service.setTaken(keyCode(QLatin1String(key)), modifiers, true);
    pass(c.before);
    service.resetCounts();
    pass(c.after);

    EXPECT_EQ(service.registerCalls(), c.registersInSecondPass);
    EXPECT_EQ(service.unregisterCalls(), c.unregistersInSecondPass);
    ASSERT_EQ(service.registrations().size(), c.sessionHolds.size());
    for (const auto &[key, modifiers] : c.sessionHolds)
        EXPECT_TRUE(service.isRegistered(keyCode(QLatin1String(key)), modifiers)) << key << "/" << modifiers;
    QStringList wanted;
    for (const auto &[key, modifiers] : c.after)
        wanted.append(KDActionListener::entryFor(QLatin1String(key), modifiers));
    EXPECT_EQ(listener->currentActionMap(), wanted);
    EXPECT_EQ(listener->specialKeys(), c.specialKeys);
    EXPECT_EQ(listener->hotkeyIndexes().size(), qsizetype(c.sessionHolds.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Passes, RegistrationDiffTest,
    ::testing::Values(
        DiffCase{"UnchangedSetRegistersNothing",
                 {{"A", 0}, {"B", hk::Shift}, {"App3", 0}},
                 {{"A", 0}, {"B", hk::Shift}, {"App3", 0}},
                 {},
                 0,
                 0,
                 {{"A", 0}, {"B", hk::Shift}},
                 {}},
        DiffCase{"CapsLockLayerRegistersWithoutTheBit",
                 {},
                 {{"A", hk::Shift | hk::CapsLock}},
                 {},
                 1,
                 0,
                 {{"A", hk::Shift}},
                 {}},
        DiffCase{"NewMaskSwapsTheHotKey",
                 {{"A", 0}},
                 {{"A", hk::Control | hk::Option}},
                 {},
                 1,
                 1,
                 {{"A", hk::Control | hk::Option}},
                 {}},
        DiffCase{"KeyThatLeavesIsReleased", {{"A", 0}, {"B", 0}}, {{"B", 0}}, {}, 0, 1, {{"B", 0}}, {}},
        DiffCase{"ApplicationKeysNeverReachTheSession",
                 {},
                 {{"App0", 0}, {"App9", hk::Command}},
                 {},
                 0,
                 0,
                 {},
                 {}},
        DiffCase{"ModifierKeyBecomesSpecialWithoutAGrab",
                 {},
                 {{"CtrlLeft", 0}, {"A", 0}},
                 {},
                 1,
                 0,
                 {{"A", 0}},
                 {"CtrlLeft"}},
        DiffCase{"ModifierKeyStaysSpecialWhileAnotherMaskHoldsIt",
                 {{"AltRight", 0}, {"AltRight", hk::Shift}},
                 {{"AltRight", hk::Shift}},
                 {},
                 0,
                 0,
                 {},
                 {"AltRight"}},
        DiffCase{"CombinationHeldElsewhereStaysUnregistered",
                 {},
                 {{"A", 0}, {"B", 0}},
                 {{"A", 0}},
                 2,
                 0,
                 {{"B", 0}},
                 {}},
        DiffCase{"MasksTheSessionCannotTellApartSwapCleanly",
                 {{"A", 0}},
                 {{"A", hk::CapsLock}},
                 {},
                 1,
                 1,
                 {{"A", 0}},
                 {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ListenerTest, IdsAreTheLowestFreeNumbersWithTheirSignatures)
{
    pass({{"A", 0}, {"B", 0}, {"C", 0}});
    std::map<int, QString> signatures;
    for (const auto &[reference, registration] : service.registrations())
        signatures[registration.id] = registration.signature;
    EXPECT_EQ(signatures, (std::map<int, QString>{{1, "a  1"}, {2, "a  2"}, {3, "a  3"}}));

    pass({{"A", 0}, {"C", 0}, {"D", 0}});
    EXPECT_EQ(listener->registeredHotkeys().value(QStringLiteral("D/0")).number, 2) << "B's id is free again";
    EXPECT_EQ(KDActionListener::signatureFor(998), QStringLiteral("a998"));
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
    EXPECT_FALSE(listener->isKeyRegistered(keyCode("B"), hk::Shift));
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

struct Event
{
    enum Kind
    {
        Hid,
        HidSpecial,
        HotKey
    };
    double at;
    Kind kind;
    const char *key;
    int modifiers = 0;
};

struct MatchCase
{
    const char *name;
    Entries actions;
    std::vector<Event> events;
    QStringList fired;
};

void PrintTo(const MatchCase &c, std::ostream *os)
{
    *os << c.name;
}

class MatchingTest : public ListenerTest, public ::testing::WithParamInterface<MatchCase>
{
};

TEST_P(MatchingTest, FiresWhatBothSourcesAgreeOn)
{
    const MatchCase &c = GetParam();
    pass(c.actions);
    const double start = now;
    for (const Event &event : c.events) {
        now = start + event.at;
        if (event.kind == Event::HotKey)
            service.press(keyCode(QLatin1String(event.key)), event.modifiers);
        else
            hid(event.key, event.kind == Event::HidSpecial);
    }
    EXPECT_TRUE(fired.isEmpty()) << "firing waits for a later pass of the event loop";
    EXPECT_EQ(settle(), c.fired);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, MatchingTest,
    ::testing::Values(
        MatchCase{"KeyDownThenHotKey", {{"A", 0}}, {{0, Event::Hid, "A"}, {0.03, Event::HotKey, "A"}}, {"A"}},
        MatchCase{"HotKeyThenKeyDownJustInTime",
                  {{"A", 0}},
                  {{0, Event::HotKey, "A"}, {0.049, Event::Hid, "A"}},
                  {"A"}},
        MatchCase{"TooFarApart", {{"A", 0}}, {{0, Event::Hid, "A"}, {0.051, Event::HotKey, "A"}}, {}},
        MatchCase{"HotKeyFromAnotherKeyboard", {{"A", 0}}, {{0, Event::HotKey, "A"}}, {}},
        MatchCase{"KeyDownWithoutHotKey", {{"A", 0}}, {{0, Event::Hid, "A"}}, {}},
        MatchCase{"KeysTypedRightAfterDoNotFireItAgain",
                  {{"A", 0}, {"B", 0}},
                  {{0, Event::Hid, "A"},
                   {0.01, Event::HotKey, "A"},
                   {0.02, Event::Hid, "C"},
                   {0.03, Event::Hid, "D"}},
                  {"A"}},
        MatchCase{"TwoPressesFireTwice",
                  {{"A", 0}},
                  {{0, Event::Hid, "A"},
                   {0.01, Event::HotKey, "A"},
                   {0.3, Event::Hid, "A"},
                   {0.31, Event::HotKey, "A"}},
                  {"A", "A"}},
        MatchCase{"InterleavedKeysPairUp",
                  {{"A", 0}, {"B", 0}},
                  {{0, Event::Hid, "A"},
                   {0.01, Event::Hid, "B"},
                   {0.02, Event::HotKey, "B"},
                   {0.03, Event::HotKey, "A"}},
                  {"B", "A"}},
        MatchCase{"OtherModifiersHeldTakeNoHotKey",
                  {{"A", hk::Shift}},
                  {{0, Event::Hid, "A"}, {0.01, Event::HotKey, "A", 0}},
                  {}},
        MatchCase{"LayerModifiersHeld",
                  {{"A", hk::Shift}},
                  {{0, Event::Hid, "A"}, {0.01, Event::HotKey, "A", hk::Shift}},
                  {"A"}},
        MatchCase{"CapsLockLayerFiresWithItsOtherModifiers",
                  {{"A", hk::Shift | hk::CapsLock}},
                  {{0, Event::Hid, "A"}, {0.01, Event::HotKey, "A", hk::Shift}},
                  {"A"}},
        MatchCase{
            "ApplicationKeyFromItsMultimediaName", {{"App3", 0}}, {{0, Event::Hid, "Calender*"}}, {"App3"}},
        MatchCase{"ApplicationKeyFromItsOwnName", {}, {{0, Event::Hid, "App7"}}, {"App7"}},
        MatchCase{"ModifierKeyWithActionFiresFromItsKeyDown",
                  {{"CtrlLeft", 0}},
                  {{0, Event::HidSpecial, "CtrlLeft"}},
                  {"CtrlLeft"}},
        MatchCase{"ModifierKeyWithoutActionDoesNothing", {{"A", 0}}, {{0, Event::Hid, "CtrlLeft"}}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

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

// --- application keys --------------------------------------------------------------------------

class TranslationTest : public ::testing::TestWithParam<std::pair<const char *, const char *>>
{
};

TEST_P(TranslationTest, MultimediaNamesBecomeApplicationKeys)
{
    EXPECT_EQ(KDActionListener::translateKeyName(QLatin1String(GetParam().first)),
              QLatin1String(GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslationTest,
                         ::testing::Values(std::pair{"Word*", "App0"}, std::pair{"Excel*", "App1"},
                                           std::pair{"Mail*", "App2"}, std::pair{"Calender*", "App3"},
                                           std::pair{"Calculator*", "App4"}, std::pair{"Spell*", "App5"},
                                           std::pair{"New*", "App6"}, std::pair{"Open*", "App7"},
                                           std::pair{"Close*", "App8"}, std::pair{"Save*", "App9"},
                                           std::pair{"Calender", "Calender"}, std::pair{"A", "A"},
                                           std::pair{"App3", "App3"}));

TEST(ApplicationKeys, EveryTranslatedNameIsAKeyOfTheKeyboard)
{
    ASSERT_FALSE(KeyboardData::shared().isEmpty());
    for (const char *name : {"Word*", "Excel*", "Mail*", "Calender*", "Calculator*", "Spell*", "New*",
                             "Open*", "Close*", "Save*"}) {
        const QString button = KDActionListener::translateKeyName(QLatin1String(name));
        const KeyboardData::Key *key = KeyboardData::shared().key(button);
        ASSERT_NE(key, nullptr) << name;
        EXPECT_EQ(key->keyCode, 0) << button.toStdString() << " fires from the HID watcher alone";
        // The keyboard's consumer interface reports the key under the multimedia name.
        bool named = false;
        for (int usage = 0; usage < 0x400 && !named; ++usage)
            named = KeyboardData::shared().nameForUsage(KeyboardData::kUsagePageConsumer, usage) ==
                    QLatin1String(name);
        EXPECT_TRUE(named) << name;
    }
}

} // namespace
