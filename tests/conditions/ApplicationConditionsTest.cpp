#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "ConditionTestSupport.h"
#include "KDApplicationRunningCondition.h"
#include "KDApplicationRunningTrigger.h"
#include "KDCapsLockCondition.h"
#include "KDConditionFactory.h"
#include "KDForegroundApplicationCondition.h"
#include "KDForegroundApplicationTrigger.h"
#include "KDIdleTimeCondition.h"
#include "KDLanguageCondition.h"
#include "KDModifierCondition.h"
#include "KDTotalActivityCondition.h"
#include "LogCapture.h"
#include "NotificationNames.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

QVariantMap record(const QString &type, const QVariantMap &settings)
{
    return QVariantMap{{QStringLiteral("Type"), type}, {QStringLiteral("Settings"), settings}};
}

QVariantMap appRecord(const QString &id, const QString &predicate)
{
    return record(conditionkeys::ApplicationType, {{"Application", id}, {"Predicate", predicate}});
}

std::string kindOf(const KDCondition &condition)
{
    if (dynamic_cast<const KDApplicationRunningCondition *>(&condition))
        return "running";
    if (dynamic_cast<const KDForegroundApplicationCondition *>(&condition))
        return "foreground";
    if (dynamic_cast<const KDLanguageCondition *>(&condition))
        return "language";
    if (dynamic_cast<const KDModifierCondition *>(&condition))
        return "modifier";
    if (dynamic_cast<const KDCapsLockCondition *>(&condition))
        return "capslock";
    if (dynamic_cast<const KDIdleTimeCondition *>(&condition))
        return "idle";
    if (dynamic_cast<const KDTotalActivityCondition *>(&condition))
        return "total";
    return "?";
}

// ---------------------------------------------------------------- the factory

struct FactoryCase
{
    const char *description;
    QVariantList records;
    std::vector<std::string> kinds;
    QString error;
    QString log;
};

// Rows print as their description in test listings and failures.
void PrintTo(const FactoryCase &row, std::ostream *out)
{
    *out << row.description;
}

class ConditionFactoryTest : public ConditionFixture, public ::testing::WithParamInterface<FactoryCase>
{
};

TEST_P(ConditionFactoryTest, BuildsTheConditionsOfARecordList)
{
    LogCapture logs;
    const auto result = KDConditionFactory::createConditions(GetParam().records);
    std::vector<std::string> kinds;
    for (const auto &condition : result.conditions)
        kinds.push_back(kindOf(*condition));
    EXPECT_EQ(kinds, GetParam().kinds);
    EXPECT_EQ(result.error, GetParam().error);
    if (!GetParam().log.isEmpty()) {
        EXPECT_EQ(logs.count(GetParam().log), 1) << logs.messages().join('\n').toStdString();
    }
}

const QString App = conditionkeys::ApplicationType;
const QString Modifier = conditionkeys::ModifierType;

INSTANTIATE_TEST_SUITE_P(
    Rows, ConditionFactoryTest,
    ::testing::Values(
        FactoryCase{"NoConditions", {}, {"total"}, {}, {}},
        FactoryCase{
            "NoType", {QVariantMap{{"Settings", QVariantMap{}}}}, {"total"}, "Illegal condition type", {}},
        FactoryCase{"TypeNotAStringCostsOnlyItsRecord",
                    {QVariantMap{{"Type", 5}}, record(conditionkeys::CapsLockType, {{"State", true}})},
                    {"capslock", "total"},
                    {},
                    "Condition type is an integer, not a string: no condition"},
        FactoryCase{"RecordNotADictionary",
                    {QVariant("brevona.condition.idle")},
                    {"total"},
                    "Illegal condition type",
                    {}},
        FactoryCase{"UnknownTypeIsSkipped", {record("brevona.condition.weather", {})}, {"total"}, {}, {}},
        FactoryCase{"RejectedRecordKeepsEarlierOnes",
                    {record(conditionkeys::CapsLockType, {{"State", true}}), QVariantMap{},
                     record(conditionkeys::LanguageType, {{"LanguageID", 0}})},
                    {"capslock", "total"},
                    "Illegal condition type",
                    {}},
        FactoryCase{"IsRunning", {appRecord("a", "isRunning")}, {"running", "total"}, {}, {}},
        FactoryCase{"IsNotRunning", {appRecord("a", "isNotRunning")}, {"running", "total"}, {}, {}},
        FactoryCase{"IsActive", {appRecord("a", "isActive")}, {"foreground", "total"}, {}, {}},
        FactoryCase{"IsNotActive", {appRecord("a", "isNotActive")}, {"foreground", "total"}, {}, {}},
        FactoryCase{"UnknownPredicate",
                    {appRecord("org.example.A", "isFrontmost")},
                    {"total"},
                    {},
                    "Can't create app condition by plist: {Application = \"org.example.A\"; Predicate = "
                    "\"isFrontmost\"; }"},
        FactoryCase{
            "OnlyCapsLock", {record(Modifier, {{"Keys", "CapsLock"}})}, {"capslock", "total"}, {}, {}},
        FactoryCase{"ShiftAndCapsLock",
                    {record(Modifier, {{"Keys", "Shift|CapsLock"}})},
                    {"capslock", "modifier", "total"},
                    {},
                    {}},
        FactoryCase{"NoModifierKeys", {record(Modifier, {{"Keys", ""}})}, {"modifier", "total"}, {}, {}},
        FactoryCase{"ModifierWithoutKeys",
                    {record(Modifier, {{"Key", "Shift"}})},
                    {"total"},
                    "broken modifiers condition plist: {Key = \"Shift\"; }",
                    {}},
        FactoryCase{"EveryOtherKind",
                    {record(conditionkeys::LanguageType, {{"LanguageID", 3}}),
                     record(conditionkeys::IdleType, {{"Time", 60}}),
                     record(conditionkeys::CapsLockType, {{"State", false}})},
                    {"language", "idle", "capslock", "total"},
                    {},
                    {}}),
    [](const auto &info) { return std::string(info.param.description); });

// ---------------------------------------------------------------- running applications

enum class AppEvent
{
    None,
    LaunchA,
    QuitA,
    LaunchB,
};

struct RunningCase
{
    const char *description;
    const char *predicate;
    bool runningAtStart;
    // Each event, then the truth the condition must have after it.
    std::vector<std::pair<AppEvent, bool>> steps;
};

void PrintTo(const RunningCase &row, std::ostream *out)
{
    *out << row.description;
}

class RunningConditionTest : public ConditionFixture, public ::testing::WithParamInterface<RunningCase>
{
protected:
    void apply(AppEvent event)
    {
        switch (event) {
        case AppEvent::None:
            break;
        case AppEvent::LaunchA:
            applications->launch("org.example.A");
            break;
        case AppEvent::QuitA:
            applications->quit("org.example.A");
            break;
        case AppEvent::LaunchB:
            applications->launch("org.example.B");
            break;
        }
    }
};

TEST_P(RunningConditionTest, FollowsLaunchesAndQuits)
{
    if (GetParam().runningAtStart)
        applications->launch("org.example.A");
    auto condition =
        KDConditionFactory::createCondition(appRecord("org.example.A", GetParam().predicate), nullptr);
    ASSERT_TRUE(condition);
    int step = 0;
    for (const auto &[event, truth] : GetParam().steps) {
        apply(event);
        EXPECT_EQ(condition->isTrue(), truth) << "step " << step;
        ++step;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RunningConditionTest,
    ::testing::Values(
        RunningCase{"NotRunningIsTrueAtOnceAndFalseAfterLaunch",
                    "isNotRunning",
                    false,
                    {{AppEvent::None, true}, {AppEvent::LaunchA, false}, {AppEvent::QuitA, true}}},
        RunningCase{"RunningAtStart", "isRunning", true, {{AppEvent::None, true}, {AppEvent::QuitA, false}}},
        RunningCase{"LaunchAfterStart",
                    "isRunning",
                    false,
                    {{AppEvent::None, false}, {AppEvent::LaunchA, true}, {AppEvent::QuitA, false}}},
        RunningCase{"OtherApplicationsChangeNothing",
                    "isRunning",
                    false,
                    {{AppEvent::LaunchB, false}, {AppEvent::LaunchA, true}}}),
    [](const auto &info) { return std::string(info.param.description); });

class ApplicationTriggerTest : public ConditionFixture
{
};

TEST_F(ApplicationTriggerTest, PostsOnlyForSubscribedApplications)
{
    NotificationLog log({notifications::AppLaunched, notifications::AppTerminated,
                         notifications::SomeConditionHaveTriggered});
    auto condition = KDConditionFactory::createCondition(appRecord("org.example.A", "isRunning"), nullptr);
    applications->launch("org.example.B");
    applications->launch("org.example.A");
    applications->quit("org.example.A");
    EXPECT_EQ(log.entries(),
              (QStringList{"APP_LAUNCHED_NOTIFICATION org.example.A", "SOME_CONDITION_HAVE_TRIGGERED",
                           "APP_TERMINATED_NOTIFICATION org.example.A", "SOME_CONDITION_HAVE_TRIGGERED"}));
}

TEST_F(ApplicationTriggerTest, OneOfTwoConditionsOnAnApplicationGoingKeepsTheOtherInformed)
{
    auto &trigger = KDApplicationRunningTrigger::sharedTrigger();
    auto first = KDConditionFactory::createCondition(appRecord("org.example.A", "isRunning"), nullptr);
    auto second = KDConditionFactory::createCondition(appRecord("org.example.A", "isNotRunning"), nullptr);
    EXPECT_EQ(trigger.bundleIds(), QStringList{"org.example.A"});
    first.reset();
    EXPECT_EQ(trigger.bundleIds(), QStringList{"org.example.A"});
    applications->launch("org.example.A");
    EXPECT_FALSE(second->isTrue());
    second.reset();
    EXPECT_TRUE(trigger.bundleIds().isEmpty());
    EXPECT_FALSE(trigger.isObserving());
}

TEST_F(ApplicationTriggerTest, WithoutASessionNothingRuns)
{
    applications->launch("org.example.A");
    applications->setAvailable(false);
    auto running = KDConditionFactory::createCondition(appRecord("org.example.A", "isRunning"), nullptr);
    auto notRunning =
        KDConditionFactory::createCondition(appRecord("org.example.A", "isNotRunning"), nullptr);
    auto active = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    // No application in front is no application named: a record without one never matches.
    auto unnamed = KDConditionFactory::createCondition(
        record("brevona.condition.application", {{"Predicate", "isActive"}}), nullptr);
    EXPECT_FALSE(running->isTrue());
    EXPECT_TRUE(notRunning->isTrue());
    EXPECT_FALSE(active->isTrue());
    EXPECT_FALSE(unnamed->isTrue());
}

// ---------------------------------------------------------------- foreground application

struct ForegroundCase
{
    const char *description;
    bool notifies;
};

void PrintTo(const ForegroundCase &row, std::ostream *out)
{
    *out << row.description;
}

class ForegroundConditionTest : public ConditionFixture, public ::testing::WithParamInterface<ForegroundCase>
{
protected:
    void SetUp() override
    {
        applications = std::make_unique<FakeApplicationMonitor>(GetParam().notifies);
        ConditionFixture::SetUp();
    }

    // Lets the trigger see the session: at once when it listens, at its next poll otherwise.
    void settle()
    {
        if (!GetParam().notifies)
            KDForegroundApplicationTrigger::sharedTrigger().tick();
    }
};

TEST_P(ForegroundConditionTest, ConditionsCreatedAtDifferentTimesAgree)
{
    applications->bringToFront("org.example.B");
    auto early = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    applications->bringToFront("org.example.A");
    auto late = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    EXPECT_EQ(early->isTrue(), late->isTrue());
    settle();
    EXPECT_TRUE(early->isTrue());
    EXPECT_TRUE(late->isTrue());
}

TEST_P(ForegroundConditionTest, FollowsTheApplicationInFront)
{
    NotificationLog log({notifications::ForeappHaveChanged, notifications::SomeConditionHaveTriggered});
    auto active = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    auto inactive = KDConditionFactory::createCondition(appRecord("org.example.A", "isNotActive"), nullptr);
    EXPECT_FALSE(active->isTrue());
    EXPECT_TRUE(inactive->isTrue());

    applications->bringToFront("org.example.A");
    settle();
    EXPECT_TRUE(active->isTrue());
    EXPECT_FALSE(inactive->isTrue());
    // The same application again changes nothing and posts nothing.
    applications->bringToFront("org.example.A");
    settle();
    applications->bringToFront(QString());
    settle();
    EXPECT_FALSE(active->isTrue());
    EXPECT_TRUE(inactive->isTrue());
    EXPECT_EQ(log.entries(),
              (QStringList{"FOREAPP_HAVE_CHANGED_NOTIFICATION org.example.A", "SOME_CONDITION_HAVE_TRIGGERED",
                           "FOREAPP_HAVE_CHANGED_NOTIFICATION ", "SOME_CONDITION_HAVE_TRIGGERED"}));
}

TEST_P(ForegroundConditionTest, FollowsTheSessionOnlyWhileConditionsExist)
{
    auto &trigger = KDForegroundApplicationTrigger::sharedTrigger();
    {
        auto first = KDConditionFactory::createCondition(appRecord("a", "isActive"), nullptr);
        auto second = KDConditionFactory::createCondition(appRecord("b", "isNotActive"), nullptr);
        EXPECT_EQ(trigger.conditionsCount(), 2);
        EXPECT_EQ(trigger.isPolling(), !GetParam().notifies);
        EXPECT_EQ(trigger.isListening(), GetParam().notifies);
    }
    EXPECT_EQ(trigger.conditionsCount(), 0);
    EXPECT_FALSE(trigger.isPolling());
    EXPECT_FALSE(trigger.isListening());
    // Nobody is told of changes while nobody asks.
    NotificationLog log({notifications::ForeappHaveChanged});
    applications->bringToFront("a");
    pumpFor(300ms);
    EXPECT_TRUE(log.entries().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ForegroundConditionTest,
                         ::testing::Values(ForegroundCase{"ListensToTheSession", true},
                                           ForegroundCase{"PollsTheSession", false}),
                         [](const auto &info) { return std::string(info.param.description); });

TEST_F(ApplicationTriggerTest, PollingSeesAChangeWithinItsInterval)
{
    applications = std::make_unique<FakeApplicationMonitor>(false);
    ApplicationMonitor::setInstance(applications.get());
    auto condition = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    applications->bringToFront("org.example.A");
    EXPECT_FALSE(condition->isTrue());
    EXPECT_TRUE(pumpUntil([&] { return condition->isTrue(); }, 2s));
    EXPECT_TRUE(KDForegroundApplicationTrigger::sharedTrigger().isPolling());
}

} // namespace
