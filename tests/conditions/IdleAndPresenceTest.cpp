#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QDir>

#include <gtest/gtest.h>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "ConditionTestSupport.h"
#include "KDCompoundLayer.h"
#include "KDConditionFactory.h"
#include "KDContext.h"
#include "KDIdleTimeCondition.h"
#include "KDIdleTimeTrigger.h"
#include "KDLayerManager.h"
#include "KDTotalActivityCondition.h"
#include "KDTotalActivityTrigger.h"
#include "NotificationNames.h"
#include "StoreBuilder.h"
#include "TestHome.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

QVariantMap record(const QString &type, const QVariantMap &settings)
{
    return QVariantMap{{QStringLiteral("Type"), type}, {QStringLiteral("Settings"), settings}};
}

// ---------------------------------------------------------------- the idle trigger's checks

struct Subscription
{
    int time;
    bool hasSetState;
};

struct IdleStep
{
    double idleSeconds;
    // The subscriptions (by index) whose setState ran at this check.
    std::vector<int> fired;
    bool reset;
    bool recompose;
    int nextCheckMs;
};

struct IdleCase
{
    const char *description;
    std::vector<Subscription> subscriptions;
    std::vector<IdleStep> steps;
};

// Rows print as their description in test listings and failures.
void PrintTo(const IdleCase &row, std::ostream *out)
{
    *out << row.description;
}

class IdleTriggerTest : public ConditionFixture, public ::testing::WithParamInterface<IdleCase>
{
};

TEST_P(IdleTriggerTest, ChecksFireEachIntervalOnceUntilTheUserIsBack)
{
    KDIdleTimeTrigger trigger;
    std::vector<int> fired;
    std::vector<int> owners(GetParam().subscriptions.size());
    for (std::size_t i = 0; i < GetParam().subscriptions.size(); ++i) {
        const Subscription &s = GetParam().subscriptions[i];
        std::function<void()> setState;
        if (s.hasSetState)
            setState = [&fired, i] { fired.push_back(int(i)); };
        trigger.subscribe(&owners[i], s.time, setState);
    }
    EXPECT_TRUE(trigger.isChecking());
    EXPECT_EQ(trigger.checkInterval(), KDIdleTimeTrigger::SlowIntervalMs);

    NotificationLog log({notifications::IdleTimeReset, notifications::SomeConditionHaveTriggered});
    int step = 0;
    for (const IdleStep &s : GetParam().steps) {
        fired.clear();
        log.clear();
        setIdleSeconds(s.idleSeconds);
        trigger.check();
        EXPECT_EQ(fired, s.fired) << "step " << step;
        EXPECT_EQ(log.count(notifications::IdleTimeReset), s.reset ? 1 : 0) << "step " << step;
        EXPECT_EQ(log.count(notifications::SomeConditionHaveTriggered), s.recompose ? 1 : 0)
            << "step " << step;
        EXPECT_EQ(trigger.checkInterval(), s.nextCheckMs) << "step " << step;
        ++step;
    }
    for (int &owner : owners)
        trigger.unSubscribe(&owner);
    EXPECT_FALSE(trigger.isChecking());
}

constexpr int Slow = KDIdleTimeTrigger::SlowIntervalMs;
constexpr int Fast = KDIdleTimeTrigger::FastIntervalMs;

INSTANTIATE_TEST_SUITE_P(
    Rows, IdleTriggerTest,
    ::testing::Values(
        IdleCase{"SixtySeconds",
                 {{60, true}},
                 {{0, {}, false, false, Slow},
                  {59.9, {}, false, false, Slow},
                  {60, {0}, false, true, Fast},
                  {60.2, {}, false, false, Fast},
                  {75, {}, false, false, Fast},
                  {0.1, {}, true, true, Slow},
                  {3, {}, false, false, Slow}}},
        IdleCase{"FiresWhenASlowCheckJumpsPastTheInterval",
                 {{60, true}},
                 {{58, {}, false, false, Slow}, {63, {0}, false, true, Fast}}},
        IdleCase{"DeviceWithoutSetStateOnlySpeedsUpTheChecks",
                 {{21, false}},
                 {{0, {}, false, false, Slow}, {25, {}, false, false, Fast}, {0, {}, true, true, Slow}}},
        IdleCase{"EachIntervalInTurn",
                 {{10, true}, {30, true}},
                 {{0, {}, false, false, Slow},
                  {15, {0}, false, true, Fast},
                  {35, {1}, false, true, Fast},
                  {1, {}, true, true, Slow},
                  {40, {0, 1}, false, true, Fast}}},
        IdleCase{"InputWithoutActiveSubscriptionsOnlyResets",
                 {{60, true}},
                 {{30, {}, false, false, Slow}, {2, {}, true, false, Slow}}},
        IdleCase{
            "ZeroNeverFires", {{0, true}}, {{0, {}, false, false, Slow}, {100, {}, false, false, Slow}}}),
    [](const auto &info) { return std::string(info.param.description); });

class IdleConditionTest : public ConditionFixture
{
};

TEST_F(IdleConditionTest, BecomesTrueAfterItsTimeAndFalseAfterInput)
{
    auto &trigger = KDIdleTimeTrigger::sharedTrigger();
    // The shared trigger remembers the previous test's last reading.
    setIdleSeconds(0);
    trigger.check();
    auto condition =
        KDConditionFactory::createCondition(record(conditionkeys::IdleType, {{"Time", 60}}), nullptr);
    EXPECT_FALSE(condition->isTrue());
    setIdleSeconds(59);
    trigger.check();
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
    NotificationLog log({notifications::IdleTimeReset});
    NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QStringLiteral("A"));
    EXPECT_EQ(log.count(notifications::IdleTimeReset), 1);
    idle = false;
    setIdleSeconds(101);
    trigger.check();
    EXPECT_FALSE(idle);
    EXPECT_EQ(trigger.checkInterval(), KDIdleTimeTrigger::SlowIntervalMs);
    trigger.unSubscribe(this);
}

struct TimeCase
{
    const char *description;
    QVariant time;
    int seconds;
};

void PrintTo(const TimeCase &row, std::ostream *out)
{
    *out << row.description;
}

class IdleTimeSettingTest : public ::testing::TestWithParam<TimeCase>
{
};

TEST_P(IdleTimeSettingTest, ReadsTime)
{
    EXPECT_EQ(KDIdleTimeCondition::timeOfPlist({{"Time", GetParam().time}}), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Rows, IdleTimeSettingTest,
                         ::testing::Values(TimeCase{"Plain", 60, 60}, TimeCase{"Missing", QVariant(), 0},
                                           TimeCase{"IntMax", std::numeric_limits<int>::max(), 0},
                                           TimeCase{"IntMin", std::numeric_limits<int>::min(), 0},
                                           TimeCase{"Huge", qint64(1) << 40, 0}, TimeCase{"Real", 90.0, 90},
                                           TimeCase{"Infinite", std::numeric_limits<double>::infinity(), 0},
                                           TimeCase{"NotANumber", "soon", 0}),
                         [](const auto &info) { return std::string(info.param.description); });

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
    NotificationLog log({notifications::DriveStateChanged, notifications::SomeConditionHaveTriggered});
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

// ---------------------------------------------------------------- the layer tree

class ConditionLayerTreeTest : public ConditionFixture
{
protected:
    void SetUp() override
    {
        ConditionFixture::SetUp();
        ASSERT_TRUE(home.isValid());
        store =
            std::make_unique<StoreBuilder>(QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
        blackFolder = StoreBuilder(QDir(home.path()).filePath(QStringLiteral("resources")))
                          .layer(QStringLiteral("BlackLayer"));
    }

    void TearDown() override
    {
        manager.reset();
        NotificationCenter::defaultCenter().post(notifications::DriveFound);
        ConditionFixture::TearDown();
    }

    QStringList composition() const { return manager->currentLayer()->layerIdentifiers(); }

    TestHome home;
    std::unique_ptr<StoreBuilder> store;
    QString blackFolder;
    std::unique_ptr<KDLayerManager> manager;
};

TEST_F(ConditionLayerTreeTest, LayersFollowTheirConditions)
{
    const QVariantMap alpha = record(conditionkeys::ApplicationType,
                                     {{"Application", "org.example.Alpha"}, {"Predicate", "isActive"}});
    const QVariantMap german = record(conditionkeys::LanguageType, {{"LanguageID", 3}});
    const QVariantMap shift = record(conditionkeys::ModifierType, {{"Keys", "Shift|Option"}});
    store->group(QString(), {"Alpha", "German", "Shifted"});
    store->layer(QStringLiteral("Alpha"), {{"Conditions", QVariantList{alpha}}});
    store->layer(QStringLiteral("German"), {{"Conditions", QVariantList{german}}});
    store->layer(QStringLiteral("Shifted"), {{"Conditions", QVariantList{german, shift}}});
    languages->setLayouts(QStringList{"us", "de"}, 0);
    manager = std::make_unique<KDLayerManager>(store->root(), blackFolder);
    EXPECT_EQ(composition(), (QStringList{"", "BlackLayer"}));
    EXPECT_EQ(KDContext::getContextByIdentifier("Shifted")->modifiersInCondition(), 0xA00);

    applications->bringToFront("org.example.Alpha");
    EXPECT_EQ(composition(), (QStringList{"", "BlackLayer", "Alpha"}));
    languages->selectIndex(1);
    EXPECT_EQ(composition(), (QStringList{"", "BlackLayer", "German", "Alpha"}));
    keyboard.shift = keyboard.alt = true;
    NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QStringLiteral("ShiftLeft"));
    EXPECT_TRUE(pumpUntil([&] { return composition().contains("Shifted"); }, 2s));
    EXPECT_EQ(composition(), (QStringList{"", "BlackLayer", "Shifted", "German", "Alpha"}));
    keyboard.shift = keyboard.alt = false;

    NotificationCenter::defaultCenter().post(notifications::DriveLost);
    EXPECT_EQ(composition(), QStringList{""});
}

} // namespace
