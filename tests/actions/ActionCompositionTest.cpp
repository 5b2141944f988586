// The layer tree and the action listener together: buttons register their keys when their
// composition is activated, and a pressed key runs the action plugin of its button.
#include <memory>

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "ConditionTestSupport.h"
#include "FakeHotKeyService.h"
#include "KDActionListener.h"
#include "KDButton.h"
#include "KDKeyboardStateSource.h"
#include "KDLayerManager.h"
#include "KDPluginManager.h"
#include "KeyboardData.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "ProbeJournal.h"
#include "StoreBuilder.h"
#include "TestHome.h"
#include "Wait.h"

using namespace brevona;
using brevona::test::StoreBuilder;
namespace hk = brevona::hotkey_modifiers;

namespace {

const QString TestPlugins = QStringLiteral(BREVONA_TEST_PLUGIN_DIR);

QStringList *journal()
{
    return brevona::test::probeJournal(TestPlugins);
}

int keyCode(const char *key)
{
    return KeyboardData::shared().key(QLatin1String(key))->keyCode;
}

QVariantMap action()
{
    return {{"ActionPlugin", QVariantMap{{"Signature", "brevona.test.action"}}}};
}

class ActionCompositionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_FALSE(KeyboardData::shared().isEmpty());
        home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", TestPlugins);
        KDPluginManager::sharedInstance().loadPlugins();
        KDKeyboardStateSource::setInstance(&modifiers);
        KDActionListener::setSharedActionListener(&listener);
        KDButton::setDisplaySink({});
        store =
            std::make_unique<StoreBuilder>(QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
        // "Plain" acts on A and on the application key App3; "Shifted" on B while Shift is held.
        store->group(QString(), {"Shifted", "Plain"});
        store->layer(QStringLiteral("Plain"),
                     {{"Buttons", QVariantMap{{"A", action()}, {"App3", action()}}}});
        store->layer(QStringLiteral("Shifted"),
                     {{"Buttons", QVariantMap{{"B", action()}}},
                      {"Conditions", QVariantList{StoreBuilder::modifiers("Shift")}}});
        manager = std::make_unique<KDLayerManager>(
            store->root(), QDir(Paths::resourceFolder()).filePath(QStringLiteral("BlackLayer")));
        ASSERT_NE(journal(), nullptr);
        journal()->clear();
    }
    void TearDown() override
    {
        manager.reset();
        KDActionListener::setSharedActionListener(nullptr);
        KDKeyboardStateSource::setInstance(nullptr);
    }

    // This keyboard's key-down and, for ordinary keys, the session's hot key a moment later.
    void pressOnThisKeyboard(const char *hidName, const char *key = nullptr, int held = 0)
    {
        NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QString::fromLatin1(hidName));
        if (key)
            service.press(keyCode(key), held);
        test::settle(std::chrono::milliseconds(0));
    }

    QStringList actionsRun() const
    {
        return journal()->filter(QRegularExpression(QStringLiteral(" (down|up)$")));
    }

    // Lets the modifier trigger see the held keys and the layer manager recompose.
    void waitForModifierCheck()
    {
        NotificationCenter::defaultCenter().post(notifications::HidKeyDown, QStringLiteral("ShiftLeft"));
        test::settle(std::chrono::milliseconds(300));
    }

    void changeConditions(const char *layer, const QVariantList &conditions)
    {
        auto &center = NotificationCenter::defaultCenter();
        ASSERT_TRUE(center.post(notifications::configuratorSaid(commands::LayerConditionsChanged), {},
                                {{"LayerId", QLatin1String(layer)}, {"Conditions", conditions}}));
    }

    test::TestHome home;
    test::FakeKeyboardState modifiers;
    FakeHotKeyService service;
    double now = 0;
    KDActionListener listener{service, [this] { return now; }, {}};
    std::unique_ptr<StoreBuilder> store;
    std::unique_ptr<KDLayerManager> manager;
};

TEST_F(ActionCompositionTest, VisibleActionKeysHoldHotKeys)
{
    EXPECT_TRUE(service.isRegistered(keyCode("A"), 0));
    EXPECT_EQ(service.registrations().size(), 1u)
        << "App3 fires from the keyboard alone; B's layer is hidden";
    EXPECT_TRUE(listener.currentActionMap().contains(QStringLiteral("App3/0")));
}

TEST_F(ActionCompositionTest, RecompositionWithTheSameKeysLeavesTheHotKeysAlone)
{
    service.resetCounts();
    NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
    EXPECT_EQ(service.registerCalls(), 0);
    EXPECT_EQ(service.unregisterCalls(), 0);
    EXPECT_TRUE(service.isRegistered(keyCode("A"), 0));
}

TEST_F(ActionCompositionTest, ModifierLayerRegistersWithItsMask)
{
    modifiers.shift = true;
    waitForModifierCheck();
    EXPECT_TRUE(service.isRegistered(keyCode("B"), hk::Shift));
    EXPECT_FALSE(service.isRegistered(keyCode("B"), 0));
    now += 1;
    pressOnThisKeyboard("B", "B", hk::Shift);
    EXPECT_EQ(actionsRun(), (QStringList{"action B down", "action B up"}));

    modifiers.shift = false;
    waitForModifierCheck();
    EXPECT_FALSE(service.isRegistered(keyCode("B"), hk::Shift)) << "a hidden layer's keys let go";
}

TEST_F(ActionCompositionTest, NewModifierConditionReleasesTheHotKeysAtOnce)
{
    service.resetCounts();
    changeConditions("Plain", {StoreBuilder::modifiers("Control")});
    EXPECT_EQ(service.unregisterCalls(), 1) << "before any recomposition";
    EXPECT_TRUE(service.registrations().empty());
    EXPECT_TRUE(listener.currentActionMap().isEmpty());

    // The mask is unchanged by a second identical record list: nothing is released.
    NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
    service.resetCounts();
    changeConditions("Plain", {StoreBuilder::modifiers("Control")});
    EXPECT_EQ(service.unregisterCalls(), 0);

    changeConditions("Plain", {});
    NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
    EXPECT_TRUE(service.isRegistered(keyCode("A"), 0));
}

} // namespace
