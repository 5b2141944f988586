#include <map>
#include <mutex>

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DriverSession.h"
#include "HybridCorners.h"
#include "KCLumivoxImage.h"
#include "KDButton.h"
#include "KDLayer.h"
#include "KDLayerManager.h"
#include "KDPluginManager.h"
#include "KDServer.h"
#include "KeyboardData.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "StoreBuilder.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;
using brevona::test::LogCapture;
using brevona::test::StoreBuilder;

namespace {

const QColor Red(220, 30, 30);
const QColor Green(30, 200, 60);
const QColor Blue(40, 60, 230);
const QColor Yellow(230, 220, 40);
const QColor Black(0, 0, 0);

// What the display shows is compared as in the driver's own sessions.
using test::Quarters;
const auto sameColour = &test::DriverSession::sameColour;
const auto describe = [](const Quarters &q) { return test::DriverSession::describe(q).toStdString(); };

Quarters quarters(const QImage &picture)
{
    const QPoint centres[] = {{12, 12}, {36, 12}, {12, 36}, {36, 36}};
    Quarters result;
    for (int i = 0; i < 4; ++i)
        result[i] = QColor(picture.pixel(centres[i])).toRgb();
    return result;
}

struct LayerSpec
{
    const char *id;
    QColor colour;
    bool hybrid = false;
    bool action = false;
    // A probe display plugin with these settings.
    QVariantMap probe = {};
};

struct StackCase
{
    const char *name;
    const char *key;
    std::vector<LayerSpec> userLayers = {}; // top of the list first, as in "ItemOrder"
    bool withLanguage = true;
    QVariantList zones = {};
    Quarters expected = {};
};

class CompositionTest : public ::testing::TestWithParam<StackCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_FALSE(KeyboardData::shared().isEmpty()) << "the keyboard data set is built before the tests";
        home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", QStringLiteral(BREVONA_TEST_PLUGIN_DIR));
        KDPluginManager::sharedInstance().loadPlugins();
        store =
            std::make_unique<StoreBuilder>(QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
        // Plugins report from their own threads, as the device's queue allows.
        KDButton::setDisplaySink([this](const std::shared_ptr<KCLumivoxImage> &picture, int oled) {
            std::lock_guard guard(sinkLock);
            shown[oled] = picture->image();
            ++sends[oled];
        });
    }
    void TearDown() override
    {
        manager.reset();
        KDButton::setDisplaySink({});
        HybridCorners::update(QVariant());
    }

    void writeLayer(const QString &path, const QString &key, const QColor &colour, bool hybrid, bool action,
                    const QVariantMap &probe = {})
    {
        QVariantMap entry;
        if (action)
            entry.insert(QStringLiteral("ActionPlugin"), QVariantMap{{"Signature", "brevona.test.action"}});
        if (!probe.isEmpty())
            entry.insert(QStringLiteral("DisplayPlugin"),
                         QVariantMap{{"Signature", "brevona.test.probe"}, {"Settings", probe}});
        store->layer(path, {{"Hybrid", hybrid}, {"Buttons", QVariantMap{{key, entry}}}},
                     StoreBuilder::layerPicture({{key, colour}}));
    }

    void build(const StackCase &c)
    {
        QStringList order;
        for (const auto &layer : c.userLayers) {
            order.append(QLatin1String(layer.id));
            writeLayer(QLatin1String(layer.id), QLatin1String(c.key), layer.colour, layer.hybrid,
                       layer.action, layer.probe);
        }
        store->group(QString(), order);
        if (c.withLanguage) {
            store->group(QStringLiteral("Defaults"), {"Language0"});
            store->group(QStringLiteral("Defaults/Language0"), {"Lang0_None"});
            writeLayer(QStringLiteral("Defaults/Language0/Lang0_None"), QLatin1String(c.key), Blue, false,
                       false);
        }
        if (!c.zones.isEmpty()) {
            // As the configurator sends them.
            HybridCorners::ensureInitialized();
            KDServer().handleCommand(commands::HybridSetupChanged, {{"Zones", c.zones}}, true);
        }
        manager = std::make_unique<KDLayerManager>(
            store->root(), QDir(Paths::resourceFolder()).filePath(QStringLiteral("BlackLayer")));
    }

    int display(const char *key) { return KeyboardData::shared().key(QLatin1String(key))->display; }

    test::TestHome home;
    std::unique_ptr<StoreBuilder> store;
    std::unique_ptr<KDLayerManager> manager;
    std::mutex sinkLock;
    std::map<int, QImage> shown;
    std::map<int, int> sends;
};

TEST_P(CompositionTest, KeyShowsTheExpectedQuarters)
{
    const StackCase &c = GetParam();
    build(c);
    const int oled = display(c.key);
    ASSERT_TRUE(shown.count(oled)) << "nothing was sent for " << c.key;
    const Quarters got = quarters(shown[oled]);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(sameColour(got[i], c.expected[i])) << "quarter " << i << ": " << describe(got);
    EXPECT_EQ(sends[oled], 1) << "activation sends each key once";
}

// clang-format off
const StackCase kStacks[] = {
    {.name = "DefaultLayerAloneIsBlack", .key = "App3", .withLanguage = false, .expected = {Black, Black, Black, Black}},
    {.name = "LanguageOverBlackShowsFullSize", .key = "G", .expected = {Blue, Blue, Blue, Blue}},
    {.name = "HybridUserSharesWithLanguage", .key = "G", .userLayers = {{"U", Red, true}}, .expected = {Red, Black, Black, Blue}},
    {.name = "WholeUserCoversLanguage", .key = "G", .userLayers = {{"U", Red}}, .expected = {Red, Red, Red, Red}},
    {.name = "ActionKeyCoversEvenWhenHybrid", .key = "G", .userLayers = {{"U", Green, true, true}}, .expected = {Green, Green, Green, Green}},
    {.name = "UpperHybridWinsTheImageZone", .key = "G", .userLayers = {{"Top", Green, true}, {"Low", Red, true}}, .expected = {Green, Black, Black, Blue}},
    {.name = "WholeUnderHybridIsRemoved", .key = "G", .userLayers = {{"Top", Green, true}, {"Low", Red}}, .expected = {Green, Black, Black, Blue}},
    {.name = "ZonesFromPreferences", .key = "G", .userLayers = {{"U", Red, true}}, .zones = {"", "Layer Image", "", "Current Language"}, .expected = {Black, Red, Black, Blue}},
    {.name = "ZoneListWithoutLanguageFallsBack", .key = "G", .userLayers = {{"U", Red, true}}, .zones = {"Layer Image", "", ""}, .expected = {Red, Black, Black, Blue}},
    {.name = "PluginPeekingWhileCreatedKeepsTheCutOut", .key = "G", .userLayers = {{.id = "U", .colour = Red, .probe = {{"peek", true}}}}, .withLanguage = false, .expected = {Red, Red, Red, Red}},
    {.name = "ApplicationKeyShowsOnlyItsTopButton", .key = "App0", .userLayers = {{"Top", Yellow, true}, {"Low", Red}}, .expected = {Yellow, Yellow, Yellow, Yellow}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Stacks, CompositionTest, ::testing::ValuesIn(kStacks), brevona::test::RowName());

class CompositionBehaviourTest : public CompositionTest
{
};

TEST_F(CompositionBehaviourTest, PluginAsksForATotalRepaint)
{
    build(StackCase{"",
                    "G",
                    {{.id = "U", .colour = Red, .hybrid = true, .probe = {{"color", Red.name()}}}},
                    true,
                    {},
                    {}});
    const int before = sends[display("G")];
    const int elsewhere = sends[display("App3")];
    auto layer = std::static_pointer_cast<KDLayer>(KDContext::getContextByIdentifier(QStringLiteral("U")));
    LogCapture log;
    // The probe draws green without update() and asks for one repaint of every key instead.
    layer->getButtons()
        .at(QStringLiteral("G"))
        ->setPluginSettingsByPlist({{"DisplayPlugin", QVariantMap{{"repaint", Green.name()}}}});
    QCoreApplication::processEvents();
    EXPECT_EQ(sends[display("G")], before + 1);
    EXPECT_EQ(sends[display("App3")], elsewhere + 1);
    const Quarters got = quarters(shown[display("G")]);
    EXPECT_TRUE(sameColour(got[0], Green) && sameColour(got[3], Blue)) << describe(got);
    EXPECT_EQ(log.count(QStringLiteral("Composition:")), 0);
}

TEST_F(CompositionBehaviourTest, ButtonsChangedImageReplacesThePicture)
{
    build(StackCase{.name = "", .key = "G", .userLayers = {{"U", Red}}, .withLanguage = false});
    KDServer server;
    const auto change = [&](const char *key, const QImage &picture) {
        server.handleCommand(
            commands::ButtonsChanged,
            {{"LayerId", "U"},
             {"Buttons", QVariantMap{{key, QVariantMap{{"Image", StoreBuilder::tiff(picture)}}}}}},
            true);
    };
    QImage green(10, 10, QImage::Format_RGB32);
    green.fill(Green);
    change("G", green);
    EXPECT_TRUE(sameColour(quarters(shown[display("G")])[0], Green));
    // A key the layer lacks is created black before the change applies.
    change("H", green);
    EXPECT_TRUE(sameColour(quarters(shown[display("H")])[3], Green));
    // A picture that claims to be huge is refused before it is decoded.
    LogCapture log;
    QImage wide(5000, 4, QImage::Format_RGB32);
    wide.fill(Red);
    change("G", wide);
    EXPECT_EQ(log.count(QStringLiteral("5000 x 4 pixels, too large - ignored")), 1);
    EXPECT_TRUE(sameColour(quarters(shown[display("G")])[0], Green));
}

TEST_F(CompositionBehaviourTest, KeyCommandsTakeOnlyKeysTheLayerAndTheKeyboardHave)
{
    build(StackCase{.name = "", .key = "G", .userLayers = {{"U", Red}}});
    KDServer server;
    LogCapture log;
    const QVariantMap picture{{"Image", StoreBuilder::tiff(Green)}};
    server.handleCommand(commands::ButtonsChanged,
                         {{"LayerId", "U"}, {"Buttons", QVariantMap{{"NoSuchKey", picture}}}}, true);
    EXPECT_EQ(log.count(QStringLiteral("ButtonsChanged skipped keys the keyboard doesn't have: NoSuchKey")),
              1);
    const QVariantMap white{{"DisplayPlugin", QVariantMap{{"color", "#ffffff"}}}};
    server.handleCommand(commands::PluginSettings, {{"LayerId", "U"}, {"Buttons", QVariantMap{{"C", white}}}},
                         true);
    EXPECT_EQ(log.count(QStringLiteral("Layer with id 'U' doesn't have button 'C'")), 1);
    EXPECT_TRUE(sameColour(quarters(shown[display("G")])[0], Red));
    // A deleted button leaves its key to the layers below.
    server.handleCommand(commands::ButtonsDeleted, {{"LayerId", "U"}, {"Buttons", QVariantList{"G"}}}, true);
    EXPECT_TRUE(sameColour(quarters(shown[display("G")])[0], Blue));
}

TEST_F(CompositionBehaviourTest, KeyNoVisibleLayerDefinesShowsBlack)
{
    writeLayer(QStringLiteral("U"), QStringLiteral("G"), Red, false, false);
    store->group(QString(), {"U"});
    // Without the driver's black layer nothing else defines the key.
    manager = std::make_unique<KDLayerManager>(store->root(),
                                               QDir(home.path()).filePath(QStringLiteral("NoBlackLayer")));
    ASSERT_TRUE(sameColour(quarters(shown[display("G")])[0], Red));
    KDServer server;
    server.handleCommand(commands::LayerVisibilityChanged, {{"LayerId", "U"}, {"Enabled", false}}, true);
    EXPECT_EQ(quarters(shown[display("G")]), (Quarters{Black, Black, Black, Black}));
}

TEST_F(CompositionBehaviourTest, DisplayPluginThrowingOnActivationCostsOnlyItsKey)
{
    const auto plugin = [](const char *signature, const QVariantMap &settings = {}) {
        return QVariantMap{{"DisplayPlugin", QVariantMap{{"Signature", signature}, {"Settings", settings}}}};
    };
    const QVariantMap green = plugin("brevona.test.probe", {{"color", Green.name()}});
    store->layer(QStringLiteral("U"),
                 {{"Buttons",
                   QVariantMap{{"G", green}, {"H", plugin("brevona.test.thrower.activate")}, {"J", green}}}});
    store->group(QString(), {"U"});
    LogCapture log;
    manager = std::make_unique<KDLayerManager>(
        store->root(), QDir(Paths::resourceFolder()).filePath(QStringLiteral("BlackLayer")));
    EXPECT_TRUE(sameColour(quarters(shown[display("J")])[0], Green)) << "the keys after it are still shown";
    // Reached through a command on a shown key: the exception must not leave the handler.
    KDServer server;
    server.handleCommand(
        commands::ButtonsChanged,
        {{"LayerId", "U"}, {"Buttons", QVariantMap{{"G", plugin("brevona.test.thrower.activate")}}}}, true);
    EXPECT_GE(log.count(QStringLiteral("exception when activating")), 3);
}

} // namespace

namespace {

// Display plugins draw and report from threads of their own while the main thread replaces
// compositions; run under ThreadSanitizer (preset "tsan") this shows any unguarded sharing.
TEST_F(CompositionBehaviourTest, PluginThreadsDrawWhileCompositionsAreExchanged)
{
    const QVariantMap painter{{"DisplayPlugin", QVariantMap{{"Signature", "brevona.test.painter"}}}};
    QVariantMap buttons;
    for (const char *key : {"G", "H", "J", "App0"})
        buttons.insert(QLatin1String(key), painter);
    store->layer(QStringLiteral("P"), {{"Hybrid", true}, {"Buttons", buttons}});
    writeLayer(QStringLiteral("U"), QStringLiteral("G"), Red, true, false);
    store->group(QString(), {"P", "U"});
    manager = std::make_unique<KDLayerManager>(
        store->root(), QDir(Paths::resourceFolder()).filePath(QStringLiteral("BlackLayer")));
    auto &center = NotificationCenter::defaultCenter();
    for (int round = 0; round < 60; ++round) {
        center.post(notifications::ToggleLayerAction, round % 3 ? QStringLiteral("U") : QStringLiteral("P"));
        QCoreApplication::processEvents();
    }
    manager.reset();
    QCoreApplication::processEvents();
    EXPECT_GT(sends[display("G")], 0);
}

} // namespace
