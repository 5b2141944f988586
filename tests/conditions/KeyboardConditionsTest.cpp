#include <memory>
#include <ostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

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
#include "NotificationNames.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

QVariantMap record(const QString &type, const QVariantMap &settings)
{
    return QVariantMap{{QStringLiteral("Type"), type}, {QStringLiteral("Settings"), settings}};
}

std::unique_ptr<KDCondition> languageCondition(const QVariant &languageId)
{
    return KDConditionFactory::createCondition(
        record(conditionkeys::LanguageType, {{"LanguageID", languageId}}), nullptr);
}

// ---------------------------------------------------------------- the language table

struct LayoutCase
{
    const char *layout;
    int identifier;
};

// Rows print as their description in test listings and failures.
void PrintTo(const LayoutCase &row, std::ostream *out)
{
    *out << row.layout;
}

class LanguageTableTest : public ::testing::TestWithParam<LayoutCase>
{
};

TEST_P(LanguageTableTest, GivesTheStoredNumber)
{
    EXPECT_EQ(LanguageTable::identifierForLayout(QString::fromUtf8(GetParam().layout)),
              GetParam().identifier);
}

// Derived numbers are stored in layer stores and shared with the configurator: they must never
// change, so a few are written down here.
INSTANTIATE_TEST_SUITE_P(Rows, LanguageTableTest,
                         ::testing::Values(LayoutCase{"us", 0}, LayoutCase{"gb", 2}, LayoutCase{"de", 3},
                                           LayoutCase{" us ", 0}, LayoutCase{"", 0}, LayoutCase{"ch(fr)", 18},
                                           LayoutCase{"ru", 1213489160},
                                           LayoutCase{"de(nodeadkeys)", 2051129427},
                                           LayoutCase{"ua", 1413687755}));

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

struct LanguageCase
{
    const char *description;
    std::optional<QStringList> layouts;
    std::optional<int> index;
    QVariant languageId;
    bool truth;
};

void PrintTo(const LanguageCase &row, std::ostream *out)
{
    *out << row.description;
}

class LanguageConditionTest : public ConditionFixture, public ::testing::WithParamInterface<LanguageCase>
{
};

TEST_P(LanguageConditionTest, IsTrueForTheLayoutInUse)
{
    languages->setLayouts(GetParam().layouts, GetParam().index);
    auto condition = languageCondition(GetParam().languageId);
    ASSERT_TRUE(condition);
    EXPECT_EQ(condition->isTrue(), GetParam().truth);
}

const QStringList UsDe{"us", "de"};

INSTANTIATE_TEST_SUITE_P(
    Rows, LanguageConditionTest,
    ::testing::Values(LanguageCase{"SecondGroup", UsDe, 1, 3, true},
                      LanguageCase{"SecondGroupNotFirst", UsDe, 1, 0, false},
                      LanguageCase{"FirstGroup", UsDe, 0, 0, true},
                      LanguageCase{"British", QStringList{"gb"}, 0, 2, true},
                      LanguageCase{"DerivedNumber", QStringList{"ru"}, 0, 1213489160, true},
                      LanguageCase{"RealNumberOfTheSameValue", UsDe, 1, 3.0, true},
                      LanguageCase{"StringNeverMatches", UsDe, 1, "3", false},
                      LanguageCase{"MissingIdentifierNeverMatches", UsDe, 0, QVariant(), false},
                      LanguageCase{"UnknownSessionReadsAsZero", std::nullopt, std::nullopt, 0, true},
                      LanguageCase{"UnknownSessionIsNotGerman", std::nullopt, std::nullopt, 3, false},
                      LanguageCase{"GroupBeyondTheLayoutsReadsAsZero", UsDe, 4, 0, true},
                      LanguageCase{"GroupBeyondTheLayoutsIsNotGerman", UsDe, 4, 3, false}),
    [](const auto &info) { return std::string(info.param.description); });

class LanguageTriggerTest : public ConditionFixture
{
};

TEST_F(LanguageTriggerTest, PostsChangesAndTellsNewConditionsAtOnce)
{
    languages->setLayouts(UsDe, 0);
    NotificationLog log(
        {notifications::CurrentLanguageHaveChanged, notifications::SomeConditionHaveTriggered});
    auto english = languageCondition(0);
    auto german = languageCondition(3);
    // Each new condition is told the current layout; the recomposition waits for the event loop
    // and comes once for the burst.
    EXPECT_EQ(log.entries(), (QStringList{"CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION 0",
                                          "CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION 0"}));
    pumpFor(50ms);
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
    EXPECT_TRUE(pumpUntil([&] { return german->isTrue(); }, 2s));
}

// ---------------------------------------------------------------- modifier keys

struct ModifierCase
{
    const char *description;
    const char *keys;
    bool alt, shift, ctrl, cmd;
    bool truth;
    int needed;
};

void PrintTo(const ModifierCase &row, std::ostream *out)
{
    *out << row.description;
}

class ModifierConditionTest : public ConditionFixture, public ::testing::WithParamInterface<ModifierCase>
{
};

TEST_P(ModifierConditionTest, IsTrueForExactlyItsKeys)
{
    auto result = KDConditionFactory::createConditions(
        {record(conditionkeys::ModifierType, {{"Keys", QString::fromUtf8(GetParam().keys)}})});
    const auto found = std::find_if(result.conditions.begin(), result.conditions.end(),
                                    [](const auto &c) { return c->isModifierCondition(); });
    ASSERT_NE(found, result.conditions.end());
    EXPECT_EQ((*found)->neededModifierState(), GetParam().needed);
    keyboard.alt = GetParam().alt;
    keyboard.shift = GetParam().shift;
    keyboard.ctrl = GetParam().ctrl;
    keyboard.cmd = GetParam().cmd;
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    EXPECT_EQ((*found)->isTrue(), GetParam().truth);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ModifierConditionTest,
    ::testing::Values(
        ModifierCase{"ShiftOptionHeld", "Shift|Option", true, true, false, false, true, 0xA00},
        ModifierCase{"ShiftOptionWithCommand", "Shift|Option", true, true, false, true, false, 0xA00},
        ModifierCase{"ShiftOptionOnlyShift", "Shift|Option", false, true, false, false, false, 0xA00},
        ModifierCase{"NoKeysNothingHeld", "", false, false, false, false, true, 0},
        ModifierCase{"NoKeysShiftHeld", "", false, true, false, false, false, 0},
        ModifierCase{"Control", "Control", false, false, true, false, true, 0x1000},
        ModifierCase{"CommandShift", "Command|Shift", false, true, false, true, true, 0x300},
        ModifierCase{"CapsLockIsNoModifier", "Shift|CapsLock", false, true, false, false, true, 0x200},
        ModifierCase{"NamesInsideLongerNames", "ShiftLeft|ControlRight", false, true, true, false, true,
                     0x1200}),
    [](const auto &info) { return std::string(info.param.description); });

class ModifierTriggerTest : public ConditionFixture
{
};

TEST_F(ModifierTriggerTest, ABurstOfKeyEventsGivesOneCheck)
{
    auto shift = KDConditionFactory::createCondition(record(conditionkeys::ModifierType, {{"Keys", "Shift"}}),
                                                     nullptr);
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    pumpFor(30ms);
    NotificationLog log({notifications::ModifiersChanged, notifications::SomeConditionHaveTriggered});
    keyboard.shift = true;
    for (int i = 0; i < 5; ++i)
        NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QStringLiteral("ShiftLeft"));
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_TRUE(pumpUntil([&] { return !log.entries().isEmpty(); }, 1s));
    pumpFor(50ms);
    EXPECT_EQ(log.entries(), (QStringList{"MODIFIERS_CHANGED 512", "SOME_CONDITION_HAVE_TRIGGERED"}));
    EXPECT_TRUE(shift->isTrue());
    keyboard.shift = false;
}

TEST_F(ModifierTriggerTest, ANewConditionLearnsTheHeldKeysAtOnce)
{
    keyboard.ctrl = true;
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    auto control = KDConditionFactory::createCondition(
        record(conditionkeys::ModifierType, {{"Keys", "Control"}}), nullptr);
    EXPECT_TRUE(control->isTrue());
    keyboard.ctrl = false;
    KDModifierConditionTrigger::sharedTrigger().checkMask();
    EXPECT_FALSE(control->isTrue());
}

// ---------------------------------------------------------------- Caps Lock

struct CapsCase
{
    const char *description;
    QVariantMap settings;
    bool locked;
    bool truth;
};

void PrintTo(const CapsCase &row, std::ostream *out)
{
    *out << row.description;
}

class CapsLockConditionTest : public ConditionFixture, public ::testing::WithParamInterface<CapsCase>
{
};

TEST_P(CapsLockConditionTest, AsksTheStateWhenEvaluated)
{
    auto condition = KDConditionFactory::createCondition(
        record(conditionkeys::CapsLockType, GetParam().settings), nullptr);
    keyboard.capsLocked = GetParam().locked;
    EXPECT_EQ(condition->isTrue(), GetParam().truth);
    keyboard.capsLocked = !GetParam().locked;
    EXPECT_EQ(condition->isTrue(), !GetParam().truth);
}

INSTANTIATE_TEST_SUITE_P(Rows, CapsLockConditionTest,
                         ::testing::Values(CapsCase{"WantsOnIsOn", {{"State", true}}, true, true},
                                           CapsCase{"WantsOnIsOff", {{"State", true}}, false, false},
                                           CapsCase{"WantsOffIsOff", {{"State", false}}, false, true},
                                           CapsCase{"MissingStateWantsOff", {}, false, true}),
                         [](const auto &info) { return std::string(info.param.description); });

TEST_F(ModifierTriggerTest, CapsLockChangesRecomposeOnlyWhenSeen)
{
    NotificationLog log({notifications::SomeConditionHaveTriggered});
    {
        auto condition = KDConditionFactory::createCondition(
            record(conditionkeys::CapsLockType, {{"State", true}}), nullptr);
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
