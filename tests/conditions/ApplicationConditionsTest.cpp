#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "ConditionTestSupport.h"
#include "KDApplicationRunningTrigger.h"
#include "KDCapsLockCondition.h"
#include "KDConditionFactory.h"
#include "KDForegroundApplicationTrigger.h"
#include "KDIdleTimeCondition.h"
#include "KDLanguageCondition.h"
#include "KDModifierCondition.h"
#include "KDTotalActivityCondition.h"
#include "LogCapture.h"
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

QVariantMap appRecord(const QString &id, const QString &predicate)
{
    return StoreBuilder::application(id, predicate);
}

QString kindOf(const KDCondition &condition)
{
    if (dynamic_cast<const KDLanguageCondition *>(&condition))
        return QStringLiteral("language");
    if (dynamic_cast<const KDModifierCondition *>(&condition))
        return QStringLiteral("modifier");
    if (dynamic_cast<const KDCapsLockCondition *>(&condition))
        return QStringLiteral("capslock");
    if (dynamic_cast<const KDIdleTimeCondition *>(&condition))
        return QStringLiteral("idle");
    if (dynamic_cast<const KDTotalActivityCondition *>(&condition))
        return QStringLiteral("total");
    return QStringLiteral("?");
}

// ---------------------------------------------------------------- the factory

struct FactoryRow
{
    const char *name;
    QVariantList records;
    const char *kinds;
    const char *error = "";
    const char *log = "";
};

class ConditionFactoryTest : public ConditionFixture, public ::testing::WithParamInterface<FactoryRow>
{
};

TEST_P(ConditionFactoryTest, BuildsTheConditionsOfARecordList)
{
    LogCapture logs;
    const auto result = KDConditionFactory::createConditions(GetParam().records);
    QStringList kinds;
    for (const auto &condition : result.conditions)
        kinds << kindOf(*condition);
    EXPECT_EQ(kinds.join(' '), QLatin1String(GetParam().kinds));
    EXPECT_EQ(result.error, QLatin1String(GetParam().error));
    if (*GetParam().log) {
        EXPECT_EQ(logs.count(QLatin1String(GetParam().log)), 1) << logs.messages().join('\n').toStdString();
    }
}

const QVariantMap kTypeNumber{{"Type", 5}};
const QVariantMap kModifierWithoutKeys =
    StoreBuilder::condition(conditionkeys::ModifierType, {{"Key", "Shift"}});
const QVariantMap kCaps = StoreBuilder::capsLock(true);
const QVariantMap kGerman = StoreBuilder::condition(conditionkeys::LanguageType, {{"LanguageID", 3}});

// clang-format off
const FactoryRow kFactoryRows[] = {
    {.name = "NoConditions", .records = {}, .kinds = "total"},
    {.name = "TypeNotAString", .records = {kTypeNumber, kCaps}, .kinds = "capslock total", .log = "type is an integer"},
    {.name = "UnknownType", .records = {StoreBuilder::condition("brevona.condition.weather", {})}, .kinds = "total"},
    {.name = "RejectedKeepsEarlier", .records = {kCaps, QVariantMap{}, kGerman}, .kinds = "capslock total", .error = "Illegal condition type"},
    {.name = "UnknownPredicate", .records = {appRecord("a", "isFrontmost")}, .kinds = "total", .log = "isFrontmost"},
    {.name = "OnlyCapsLock", .records = {StoreBuilder::modifiers("CapsLock")}, .kinds = "capslock total"},
    {.name = "ShiftAndCapsLock", .records = {StoreBuilder::modifiers("Shift|CapsLock")}, .kinds = "capslock modifier total"},
    {.name = "NoModifierKeys", .records = {StoreBuilder::modifiers("")}, .kinds = "modifier total"},
    {.name = "ModifierWithoutKeys", .records = {kModifierWithoutKeys}, .kinds = "total", .error = "broken modifiers condition plist: {Key = \"Shift\"; }"},
    {.name = "OtherKinds", .records = {kGerman, StoreBuilder::idle(60), StoreBuilder::capsLock(false)}, .kinds = "language idle capslock total"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, ConditionFactoryTest, ::testing::ValuesIn(kFactoryRows), RowName());

// ---------------------------------------------------------------- running applications

struct RunningRow
{
    const char *name;
    const char *predicate;
    // Space-separated steps: an event (A: A launches, a: A quits, B: B launches, -: nothing) and
    // the truth the condition has after it (1 or 0).
    const char *steps;
};

class RunningConditionTest : public ConditionFixture, public ::testing::WithParamInterface<RunningRow>
{
};

TEST_P(RunningConditionTest, FollowsLaunchesAndQuits)
{
    auto condition =
        KDConditionFactory::createCondition(appRecord("org.example.A", GetParam().predicate), nullptr);
    ASSERT_TRUE(condition);
    for (const QString &step : QString::fromLatin1(GetParam().steps).split(' ')) {
        if (step[0] == 'A')
            applications->launch("org.example.A");
        else if (step[0] == 'a')
            applications->quit("org.example.A");
        else if (step[0] == 'B')
            applications->launch("org.example.B");
        EXPECT_EQ(condition->isTrue(), step[1] == '1') << step.toStdString();
    }
}

const RunningRow kRunningRows[] = {
    {.name = "NotRunning", .predicate = "isNotRunning", .steps = "-1 A0 a1"},
    {.name = "Running", .predicate = "isRunning", .steps = "-0 A1 a0"},
    {.name = "OtherApplicationsChangeNothing", .predicate = "isRunning", .steps = "B0 A1"},
};

INSTANTIATE_TEST_SUITE_P(Rows, RunningConditionTest, ::testing::ValuesIn(kRunningRows), RowName());

class ApplicationTriggerTest : public ConditionFixture
{
};

TEST_F(ApplicationTriggerTest, RunningAtTheStartIsSeen)
{
    applications->launch("org.example.A");
    auto condition = KDConditionFactory::createCondition(appRecord("org.example.A", "isRunning"), nullptr);
    EXPECT_TRUE(condition->isTrue());
}

TEST_F(ApplicationTriggerTest, PostsOnlyForSubscribedApplications)
{
    NotificationRecorder log(
        {notifications::AppLaunched, notifications::AppTerminated, notifications::SomeConditionHaveTriggered},
        {"launched", "terminated", "triggered"});
    auto condition = KDConditionFactory::createCondition(appRecord("org.example.A", "isRunning"), nullptr);
    applications->launch("org.example.B");
    applications->launch("org.example.A");
    applications->quit("org.example.A");
    EXPECT_EQ(log.entries(),
              (QStringList{"launched org.example.A", "triggered", "terminated org.example.A", "triggered"}));
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
        StoreBuilder::condition(conditionkeys::ApplicationType, {{"Predicate", "isActive"}}), nullptr);
    EXPECT_FALSE(running->isTrue());
    EXPECT_TRUE(notRunning->isTrue());
    EXPECT_FALSE(active->isTrue());
    EXPECT_FALSE(unnamed->isTrue());
}

// ---------------------------------------------------------------- foreground application

struct ForegroundRow
{
    const char *name;
    bool notifies;
};

class ForegroundConditionTest : public ConditionFixture, public ::testing::WithParamInterface<ForegroundRow>
{
protected:
    void SetUp() override
    {
        applications = std::make_unique<FakeApplicationMonitor>(GetParam().notifies);
        ConditionFixture::SetUp();
    }

    // Lets the trigger see the session: at once when it listens, at its next poll otherwise.
    void poll()
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
    poll();
    EXPECT_TRUE(early->isTrue());
    EXPECT_TRUE(late->isTrue());
}

TEST_P(ForegroundConditionTest, FollowsTheApplicationInFront)
{
    NotificationRecorder log({notifications::ForeappHaveChanged, notifications::SomeConditionHaveTriggered},
                             {"front", "triggered"});
    auto active = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    auto inactive = KDConditionFactory::createCondition(appRecord("org.example.A", "isNotActive"), nullptr);
    EXPECT_FALSE(active->isTrue());
    EXPECT_TRUE(inactive->isTrue());

    applications->bringToFront("org.example.A");
    poll();
    EXPECT_TRUE(active->isTrue());
    EXPECT_FALSE(inactive->isTrue());
    // The same application again changes nothing and posts nothing.
    applications->bringToFront("org.example.A");
    poll();
    applications->bringToFront(QString());
    poll();
    EXPECT_FALSE(active->isTrue());
    EXPECT_TRUE(inactive->isTrue());
    EXPECT_EQ(log.entries(), (QStringList{"front org.example.A", "triggered", "front ", "triggered"}));
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
    NotificationRecorder log({notifications::ForeappHaveChanged});
    applications->bringToFront("a");
    settle(300ms);
    EXPECT_TRUE(log.entries().isEmpty());
}

const ForegroundRow kForegroundRows[] = {{.name = "Listens", .notifies = true},
                                         {.name = "Polls", .notifies = false}};

INSTANTIATE_TEST_SUITE_P(Rows, ForegroundConditionTest, ::testing::ValuesIn(kForegroundRows), RowName());

TEST_F(ApplicationTriggerTest, PollingSeesAChangeWithinItsInterval)
{
    applications = std::make_unique<FakeApplicationMonitor>(false);
    ApplicationMonitor::setInstance(applications.get());
    auto condition = KDConditionFactory::createCondition(appRecord("org.example.A", "isActive"), nullptr);
    applications->bringToFront("org.example.A");
    EXPECT_FALSE(condition->isTrue());
    EXPECT_TRUE(waitUntil([&] { return condition->isTrue(); }, 2s));
    EXPECT_TRUE(KDForegroundApplicationTrigger::sharedTrigger().isPolling());
}

} // namespace
