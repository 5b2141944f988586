#include <memory>
#include <optional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "ConditionTestSupport.h"
#include "KDCapsLockCondition.h"
#include "KDConditionFactory.h"
#include "KDLanguageConditionTrigger.h"
#include "KDModifierCondition.h"
#include "KDModifierConditionTrigger.h"
#include "LanguageTable.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NotificationRecorder.h"
#include "StoreBuilder.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<KDCondition> languageCondition(const QVariant &languageId)
{
    return KDConditionFactory::createCondition(
        StoreBuilder::condition(conditionkeys::LanguageType, {{"LanguageID", languageId}}), nullptr);
}

// ---------------------------------------------------------------- the language table

struct LayoutRow
{
    const char *name;
    const char *layout;
    int identifier;
};

class LanguageTableTest : public ::testing::TestWithParam<LayoutRow>
{
};

TEST_P(LanguageTableTest, GivesTheStoredNumber)
{
    EXPECT_EQ(LanguageTable::identifierForLayout(QString::fromUtf8(GetParam().layout)),
              GetParam().identifier);
}

// Derived numbers are stored in layer stores and shared with the configurator: they must never
// change, so a few are written down here.
const LayoutRow kLayoutRows[] = {
    {.name = "us", .layout = "us", .identifier = 0},
    {.name = "de", .layout = "de", .identifier = 3},
    {.name = "spaces", .layout = " us ", .identifier = 0},
    {.name = "empty", .layout = "", .identifier = 0},
    {.name = "chfr", .layout = "ch(fr)", .identifier = 18},
    {.name = "ru", .layout = "ru", .identifier = 1213489160},
    {.name = "deNodeadkeys", .layout = "de(nodeadkeys)", .identifier = 2051129427},
};

INSTANTIATE_TEST_SUITE_P(Rows, LanguageTableTest, ::testing::ValuesIn(kLayoutRows), RowName());

TEST(LanguageTableNamesTest, RealLayoutsGetDistinctNumbersAndKnownOnesRoundTrip)
{
    const QStringList names{
        "us", "gb",         "de",          "fr",       "it",      "es",       "pt",      "nl", "be",
        "se", "no",         "dk",          "fi",       "ch",      "ch(fr)",   "at",      "pl", "cz",
        "sk", "hu",         "ro",          "bg",       "ru",      "ua",       "by",      "gr", "tr",
        "il", "ara",        "ir",          "in",       "jp",      "kr",       "cn",      "th", "vn",
        "br", "latam",      "ca",          "is",       "ee",      "lv",       "lt",      "si", "hr",
        "rs", "us(dvorak)", "us(colemak)", "us(intl)", "de(neo)", "fr(bepo)", "gb(extd)"};
    std::set<int> seen;
    for (const QString &name : names) {
        const int id = LanguageTable::identifierForLayout(name);
        EXPECT_TRUE(seen.insert(id).second) << name.toStdString() << " shares " << id;
        EXPECT_GE(id, 0);
        if (const auto known = LanguageTable::knownLayoutForIdentifier(id))
            EXPECT_EQ(*known, name);
        else
            EXPECT_GE(id, LanguageTable::FirstDerivedIdentifier) << name.toStdString();
    }
}

// ---------------------------------------------------------------- input language

struct LanguageRow
{
    const char *name;
    std::optional<int> index; // nothing: the session's layouts are unknown
    QVariant languageId;
    bool truth;
};

class LanguageConditionTest : public ConditionFixture, public ::testing::WithParamInterface<LanguageRow>
{
};

const QStringList UsDe{"us", "de"};

TEST_P(LanguageConditionTest, IsTrueForTheLayoutInUse)
{
    if (GetParam().index)
        languages->setLayouts(UsDe, GetParam().index);
    else
        languages->setLayouts(std::nullopt, std::nullopt);
    auto condition = languageCondition(GetParam().languageId);
    ASSERT_TRUE(condition);
    EXPECT_EQ(condition->isTrue(), GetParam().truth);
}

const LanguageRow kLanguageRows[] = {
    {.name = "SecondGroup", .index = 1, .languageId = 3, .truth = true},
    {.name = "FirstGroup", .index = 0, .languageId = 0, .truth = true},
    {.name = "RealOfTheSameValue", .index = 1, .languageId = 3.0, .truth = true},
    {.name = "StringNeverMatches", .index = 1, .languageId = "3", .truth = false},
    {.name = "UnknownSessionReadsAsZero", .index = std::nullopt, .languageId = 0, .truth = true},
    {.name = "GroupBeyondLayoutsReadsAsZero", .index = 4, .languageId = 0, .truth = true},
};

INSTANTIATE_TEST_SUITE_P(Rows, LanguageConditionTest, ::testing::ValuesIn(kLanguageRows), RowName());

class LanguageTriggerTest : public ConditionFixture
{
};

TEST_F(LanguageTriggerTest, PostsChangesAndTellsNewConditionsAtOnce)
{
    languages->setLayouts(UsDe, 0);
    NotificationRecorder log(
        {notifications::CurrentLanguageHaveChanged, notifications::SomeConditionHaveTriggered});
    auto english = languageCondition(0);
    auto german = languageCondition(3);
    // Each new condition is told the current layout; the recomposition waits for the event loop
    // and comes once for the burst.
    EXPECT_EQ(log.entries(), (QStringList{"CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION 0",
                                          "CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION 0"}));
    settle(50ms);
    EXPECT_EQ(log.count("SOME_CONDITION_HAVE_TRIGGERED"), 1);
    EXPECT_TRUE(english->isTrue());
    EXPECT_FALSE(german->isTrue());

    log.clear();
    languages->selectIndex(1);
    EXPECT_EQ(log.entries(),
              (QStringList{"CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION 3", "SOME_CONDITION_HAVE_TRIGGERED"}));
    EXPECT_FALSE(english->isTrue());
    EXPECT_TRUE(german->isTrue());
    log.clear();
    languages->selectIndex(1);
    EXPECT_TRUE(log.entries().isEmpty());
}

TEST_F(LanguageTriggerTest, PollsASessionThatDoesNotAnnounceChanges)
{
    languages = std::make_unique<FakeLanguageSource>(false);
    InputLanguageSource::setInstance(languages.get());
    languages->setLayouts(UsDe, 0);
    auto german = languageCondition(3);
    EXPECT_TRUE(KDLanguageConditionTrigger::sharedTrigger().isPolling());
    languages->selectIndex(1);
    EXPECT_FALSE(german->isTrue());
    EXPECT_TRUE(waitUntil([&] { return german->isTrue(); }, 2s));
}

// ---------------------------------------------------------------- modifier keys

struct ModifierRow
{
    const char *name;
    const char *keys;
    const char *held; // the modifier keys down: a(lt) s(hift) c(trl) m (command)
    bool truth;
    int needed;
};

class ModifierConditionTest : public ConditionFixture, public ::testing::WithParamInterface<ModifierRow>
{
};

TEST_P(ModifierConditionTest, IsTrueForExactlyItsKeys)
{
    auto result = KDConditionFactory::createConditions({StoreBuilder::modifiers(GetParam().keys)});
    const auto found = std::find_if(result.conditions.begin(), result.conditions.end(),
                                    [](const auto &c) { return c->isModifierCondition(); });
    ASSERT_NE(found, result.conditions.end());
    EXPECT_EQ((*found)->neededModifierState(), GetParam().needed);
    const std::string held = GetParam().held;
    keyboard.alt = held.find('a') != std::string::npos;
    keyboard.shift = held.find('s') != std::string::npos;
    keyboard.ctrl = held.find('c') != std::string::npos;
    keyboard.cmd = held.find('m') != std::string::npos;
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    EXPECT_EQ((*found)->isTrue(), GetParam().truth);
}

// clang-format off
const ModifierRow kModifierRows[] = {
    {.name = "ShiftOption", .keys = "Shift|Option", .held = "as", .truth = true, .needed = 0xA00},
    {.name = "ShiftOptionCommand", .keys = "Shift|Option", .held = "asm", .truth = false, .needed = 0xA00},
    {.name = "ShiftOptionOnlyShift", .keys = "Shift|Option", .held = "s", .truth = false, .needed = 0xA00},
    {.name = "NoKeysNothingHeld", .keys = "", .held = "", .truth = true, .needed = 0},
    {.name = "NoKeysShiftHeld", .keys = "", .held = "s", .truth = false, .needed = 0},
    {.name = "CommandShift", .keys = "Command|Shift", .held = "sm", .truth = true, .needed = 0x300},
    {.name = "CapsLockIsNoModifier", .keys = "Shift|CapsLock", .held = "s", .truth = true, .needed = 0x200},
    {.name = "InsideLongerNames", .keys = "ShiftLeft|ControlRight", .held = "sc", .truth = true, .needed = 0x1200},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, ModifierConditionTest, ::testing::ValuesIn(kModifierRows), RowName());

class ModifierTriggerTest : public ConditionFixture
{
};

TEST_F(ModifierTriggerTest, ABurstOfKeyEventsGivesOneCheck)
{
    auto shift = KDConditionFactory::createCondition(StoreBuilder::modifiers("Shift"), nullptr);
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    settle(30ms);
    NotificationRecorder log({notifications::ModifiersChanged, notifications::SomeConditionHaveTriggered});
    keyboard.shift = true;
    for (int i = 0; i < 5; ++i)
        NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QStringLiteral("ShiftLeft"));
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return !log.entries().isEmpty(); }, 1s));
    settle(50ms);
    EXPECT_EQ(log.entries(), (QStringList{"MODIFIERS_CHANGED 512", "SOME_CONDITION_HAVE_TRIGGERED"}));
    EXPECT_TRUE(shift->isTrue());
    keyboard.shift = false;
}

TEST_F(ModifierTriggerTest, ANewConditionLearnsTheHeldKeysAtOnce)
{
    keyboard.ctrl = true;
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    auto control = KDConditionFactory::createCondition(StoreBuilder::modifiers("Control"), nullptr);
    EXPECT_TRUE(control->isTrue());
    keyboard.ctrl = false;
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    EXPECT_FALSE(control->isTrue());
}

// ---------------------------------------------------------------- Caps Lock

struct CapsRow
{
    const char *name;
    QVariantMap settings;
    bool locked;
    bool truth;
};

class CapsLockConditionTest : public ConditionFixture, public ::testing::WithParamInterface<CapsRow>
{
};

TEST_P(CapsLockConditionTest, AsksTheStateWhenEvaluated)
{
    auto condition = KDConditionFactory::createCondition(
        StoreBuilder::condition(conditionkeys::CapsLockType, GetParam().settings), nullptr);
    keyboard.capsLocked = GetParam().locked;
    EXPECT_EQ(condition->isTrue(), GetParam().truth);
    keyboard.capsLocked = !GetParam().locked;
    EXPECT_EQ(condition->isTrue(), !GetParam().truth);
}

const CapsRow kCapsRows[] = {
    {.name = "WantsOnIsOn", .settings = {{"State", true}}, .locked = true, .truth = true},
    {.name = "WantsOffIsOff", .settings = {{"State", false}}, .locked = false, .truth = true},
    {.name = "MissingStateWantsOff", .settings = {}, .locked = false, .truth = true},
};

INSTANTIATE_TEST_SUITE_P(Rows, CapsLockConditionTest, ::testing::ValuesIn(kCapsRows), RowName());

TEST_F(ModifierTriggerTest, CapsLockChangesRecomposeOnlyWhenSeen)
{
    NotificationRecorder log({notifications::SomeConditionHaveTriggered});
    {
        auto condition = KDConditionFactory::createCondition(StoreBuilder::capsLock(true), nullptr);
        EXPECT_TRUE(KDCapsLockCondition::isWatching());
        KDCapsLockCondition::checkCapsLock();
        EXPECT_EQ(log.entries().size(), 0);
        keyboard.capsLocked = true;
        KDCapsLockCondition::checkCapsLock();
        KDCapsLockCondition::checkCapsLock();
        EXPECT_EQ(log.entries().size(), 1);
        NotificationCenter::defaultCenter().post(notifications::HidKeyUp, QStringLiteral("A"));
        EXPECT_EQ(log.entries().size(), 1);
        NotificationCenter::defaultCenter().post(notifications::HidKeyUp, QStringLiteral("CapsLock"));
        EXPECT_EQ(log.entries().size(), 2);
    }
    EXPECT_FALSE(KDCapsLockCondition::isWatching());
}

} // namespace
