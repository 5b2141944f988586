#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "ConditionTestSupport.h"
#include "KDConditionFactory.h"
#include "KDIdleTimeCondition.h"
#include "KDIdleTimeTrigger.h"
#include "KDTotalActivityCondition.h"
#include "KDTotalActivityTrigger.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NotificationRecorder.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "StoreBuilder.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

// ---------------------------------------------------------------- the idle trigger's checks

struct IdleRow
{
    const char *name;
    // The subscriptions' times in seconds; "!" after one: a subscriber without setState.
    const char *subscriptions;
    // Checks, space-separated, as seconds idle:subscriptions whose setState ran:notifications
    // posted (r: idle time reset, t: conditions triggered):next interval (S slow, F fast).
    const char *checks;
};

class IdleTriggerTest : public ConditionFixture, public ::testing::WithParamInterface<IdleRow>
{
};

TEST_P(IdleTriggerTest, ChecksFireEachIntervalOnceUntilTheUserIsBack)
{
    KDIdleTimeTrigger trigger;
    QString fired;
    const QStringList subscriptions = QString::fromLatin1(GetParam().subscriptions).split(' ');
    std::vector<int> owners(subscriptions.size());
    for (int i = 0; i < subscriptions.size(); ++i) {
        std::function<void()> setState;
        if (!subscriptions[i].endsWith('!'))
            setState = [&fired, i] { fired += QString::number(i); };
        trigger.subscribe(&owners[i], subscriptions[i].chopped(subscriptions[i].endsWith('!')).toInt(),
                          setState);
    }
    EXPECT_TRUE(trigger.isChecking());
    EXPECT_EQ(trigger.checkInterval(), KDIdleTimeTrigger::SlowIntervalMs);

    NotificationRecorder log({notifications::IdleTimeReset, notifications::SomeConditionHaveTriggered},
                             {"r", "t"});
    for (const QString &check : QString::fromLatin1(GetParam().checks).split(' ')) {
        const QStringList part = check.split(':');
        fired.clear();
        log.clear();
        setIdleSeconds(part[0].toDouble());
        trigger.check();
        const int interval = trigger.checkInterval() == KDIdleTimeTrigger::FastIntervalMs ? 'F' : 'S';
        EXPECT_EQ(QStringList({part[0], fired, log.entries().join(QString()), QChar(interval)}).join(':'),
                  check);
    }
    for (int &owner : owners)
        trigger.unSubscribe(&owner);
    EXPECT_FALSE(trigger.isChecking());
}

// clang-format off
const IdleRow kIdleRows[] = {
    {.name = "SixtySeconds", .subscriptions = "60", .checks = "0:::S 59.9:::S 60:0:t:F 60.2:::F 75:::F 0.1::rt:S 3:::S"},
    {.name = "SlowCheckJumpsPastTheInterval", .subscriptions = "60", .checks = "58:::S 63:0:t:F"},
    {.name = "WithoutSetStateOnlySpeedsUp", .subscriptions = "21!", .checks = "0:::S 25:::F 0::rt:S"},
    {.name = "EachIntervalInTurn", .subscriptions = "10 30", .checks = "0:::S 15:0:t:F 35:1:t:F 1::rt:S 40:01:t:F"},
    {.name = "InputWithoutActiveOnlyResets", .subscriptions = "60", .checks = "30:::S 2::r:S"},
    {.name = "ZeroNeverFires", .subscriptions = "0", .checks = "0:::S 100:::S"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, IdleTriggerTest, ::testing::ValuesIn(kIdleRows), RowName());

class IdleConditionTest : public ConditionFixture
{
};

TEST_F(IdleConditionTest, BecomesTrueAfterItsTimeAndFalseAfterInput)
{
    auto &trigger = KDIdleTimeTrigger::sharedTrigger();
    // The shared trigger remembers the previous test's last reading.
    setIdleSeconds(0);
    trigger.check();
    auto condition = KDConditionFactory::createCondition(StoreBuilder::idle(60), nullptr);
    EXPECT_FALSE(condition->isTrue());
    setIdleSeconds(61);
    trigger.check();
    EXPECT_TRUE(condition->isTrue());
    setIdleSeconds(0.5);
    trigger.check();
    EXPECT_FALSE(condition->isTrue());
    condition.reset();
    EXPECT_FALSE(trigger.isChecking());
}

TEST_F(IdleConditionTest, KeysTheSessionDidNotSeeCountAsInput)
{
    // A simulated keyboard's keys never reach the session's idle time.
    KDIdleTimeTrigger trigger;
    bool idle = false;
    trigger.subscribe(this, 60, [&idle] { idle = true; });
    setIdleSeconds(0);
    trigger.check();
    setIdleSeconds(100);
    trigger.check();
    ASSERT_TRUE(idle);
    NotificationRecorder log({notifications::IdleTimeReset});
    NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QStringLiteral("A"));
    EXPECT_EQ(log.count(notifications::IdleTimeReset), 1);
    idle = false;
    setIdleSeconds(101);
    trigger.check();
    EXPECT_FALSE(idle);
    EXPECT_EQ(trigger.checkInterval(), KDIdleTimeTrigger::SlowIntervalMs);
    trigger.unSubscribe(this);
}

struct TimeRow
{
    const char *name;
    QVariant time;
    int seconds;
};

class IdleTimeSettingTest : public ::testing::TestWithParam<TimeRow>
{
};

TEST_P(IdleTimeSettingTest, ReadsTime)
{
    EXPECT_EQ(KDIdleTimeCondition::timeOfPlist({{"Time", GetParam().time}}), GetParam().seconds);
}

const TimeRow kTimeRows[] = {
    {.name = "Plain", .time = 60, .seconds = 60},
    {.name = "IntMin", .time = std::numeric_limits<int>::min(), .seconds = 0},
    {.name = "Huge", .time = qint64(1) << 40, .seconds = 0},
    {.name = "Real", .time = 90.0, .seconds = 90},
    {.name = "Infinite", .time = std::numeric_limits<double>::infinity(), .seconds = 0},
    {.name = "NotANumber", .time = "soon", .seconds = 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, IdleTimeSettingTest, ::testing::ValuesIn(kTimeRows), RowName());

// ---------------------------------------------------------------- keyboard presence

class PresenceTest : public ConditionFixture
{
protected:
    void TearDown() override
    {
        // The trigger lives on: the next test starts with the volume present.
        NotificationCenter::defaultCenter().post(notifications::DriveFound);
        ConditionFixture::TearDown();
    }
};

TEST_F(PresenceTest, UnpluggingHidesAndReturningShows)
{
    NotificationRecorder log({notifications::DriveStateChanged, notifications::SomeConditionHaveTriggered});
    auto existing = std::make_unique<KDTotalActivityCondition>();
    EXPECT_TRUE(existing->isTrue());
    NotificationCenter::defaultCenter().post(notifications::DriveLost);
    EXPECT_EQ(log.entries(),
              (QStringList{"LUMIVOX_DRIVE_STATE_CHANGED false", "SOME_CONDITION_HAVE_TRIGGERED"}));
    EXPECT_FALSE(existing->isTrue());
    // An item made while the volume is away (a reload) is hidden too.
    auto later = std::make_unique<KDTotalActivityCondition>();
    EXPECT_FALSE(later->isTrue());
    NotificationCenter::defaultCenter().post(notifications::DriveFound);
    EXPECT_TRUE(existing->isTrue());
    EXPECT_TRUE(later->isTrue());
}

} // namespace
