#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "KCLumivoxImage.h"
#include "KDButton.h"
#include "KDCompoundLayer.h"
#include "KDLayer.h"
#include "KDLayerGroup.h"
#include "KDLayerManager.h"
#include "KDServer.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PropertyList.h"
#include "StoreBuilder.h"
#include "TestHome.h"
#include "TestPrinters.h"

using namespace brevona;
using brevona::test::LogCapture;
using brevona::test::StoreBuilder;

namespace {

QStringList composition(const KDLayerManager &manager)
{
    return manager.currentLayer()->layerIdentifiers();
}

class LayerTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        store =
            std::make_unique<StoreBuilder>(QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
        black = std::make_unique<StoreBuilder>(QDir(home.path()).filePath(QStringLiteral("resources")));
        blackFolder = black->layer(QStringLiteral("BlackLayer"));
    }

    std::unique_ptr<KDLayerManager> makeManager()
    {
        return std::make_unique<KDLayerManager>(store->root(), blackFolder);
    }

    // Sends a command the way the command endpoint hands it over.
    void command(const QString &name, const QVariantMap &info)
    {
        server.handleCommand(name, info, !info.isEmpty());
    }

    test::TestHome home;
    std::unique_ptr<StoreBuilder> store;
    std::unique_ptr<StoreBuilder> black;
    QString blackFolder;
    KDServer server;
};

QVariantMap disabled()
{
    return {{QStringLiteral("Disabled"), true}};
}

} // namespace

TEST_F(LayerTreeTest, EmptyRootStillShowsDefaultsAndBlackLayer)
{
    store->group(QString(), {}, {{QStringLiteral("DisplayName"), QStringLiteral("root")}});
    store->group(QStringLiteral("Defaults"), {QStringLiteral("ControlButtons")});
    store->layer(QStringLiteral("Defaults/ControlButtons"));
    auto manager = makeManager();
    EXPECT_EQ(manager->root()->itemOrder(), (QStringList{"Defaults", "BlackLayer"}));
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "ControlButtons"}));
}

TEST_F(LayerTreeTest, FirstEntryOfTheOrderEndsOnTopAndHiddenItemsStayOut)
{
    store->group(QString(), {"A", "G", "Missing", "B"});
    store->layer(QStringLiteral("A"));
    store->layer(QStringLiteral("B"));
    store->layer(QStringLiteral("Unlisted"));
    store->group(QStringLiteral("G"), {"G1", "G2"}, disabled());
    store->layer(QStringLiteral("G/G1"));
    store->layer(QStringLiteral("G/G2"));
    auto manager = makeManager();
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "B", "A"}));

    command(commands::LayerVisibilityChanged, {{"LayerId", "G"}, {"Enabled", true}});
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "B", "G2", "G1", "A"}));

    command(commands::LayerVisibilityChanged, {{"LayerId", "G1"}, {"Enabled", false}});
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "B", "G2", "A"}));
}

TEST_F(LayerTreeTest, BrokenItemsAreSkippedWithTheirLogLine)
{
    LogCapture log;
    store->group(QString(), {"NoPlist", "Good", "NoOrder", "NoPicture"});
    QDir().mkpath(QDir(store->root()).filePath(QStringLiteral("NoPlist")));
    store->layer(QStringLiteral("Good"));
    const QString noOrder = QDir(store->root()).filePath(QStringLiteral("NoOrder"));
    QDir().mkpath(noOrder);
    PropertyList::writeFile(QDir(noOrder).filePath(QStringLiteral("Group.plist")),
                            QVariantMap{{"DisplayName", "no order"}});
    store->layer(QStringLiteral("NoOrder/Child"));
    const QString noPicture =
        store->layer(QStringLiteral("NoPicture"), {{"Buttons", QVariantMap{{"G", QVariantMap{}}}}});
    QFile::remove(QDir(noPicture).filePath(QStringLiteral("Main.tiff")));

    auto manager = makeManager();
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "NoPicture", "Good"}));
    const QString expected = QStringLiteral("Loading of %1 failed, layer was not created")
                                 .arg(QDir(store->root()).filePath(QStringLiteral("NoPlist/Layer.plist")));
    EXPECT_EQ(log.count(expected), 1) << log.messages().join('\n').toStdString();
    // The child of a group without an order is loaded but never shown.
    EXPECT_NE(KDContext::getContextByIdentifier(QStringLiteral("Child")), nullptr);
}

TEST_F(LayerTreeTest, OddStoreValuesReadAsTheirDefaults)
{
    // Flags that are no booleans read as missing; a hidden folder is an item like any other; a
    // symbolic link is never followed; a language layer stays hybrid whatever it is told.
    store->group(QString(), {"TextDisabled", "NumberHybrid", ".Hidden", "Linked", "Lang0_None"});
    store->layer(QStringLiteral("TextDisabled"), {{"Disabled", "yes"}});
    store->layer(QStringLiteral("NumberHybrid"), {{"Hybrid", 1}});
    store->layer(QStringLiteral(".Hidden"));
    store->layer(QStringLiteral("Lang0_None"), {{"Hybrid", false}});
    ASSERT_TRUE(QFile::link(blackFolder, QDir(store->root()).filePath(QStringLiteral("Linked"))));
    auto manager = makeManager();
    EXPECT_EQ(composition(*manager),
              (QStringList{"", "BlackLayer", "Lang0_None", ".Hidden", "NumberHybrid", "TextDisabled"}));
    const auto layer = [](const char *id) {
        return std::static_pointer_cast<KDLayer>(KDContext::getContextByIdentifier(QLatin1String(id)));
    };
    EXPECT_FALSE(layer("NumberHybrid")->isHybrid());
    command(commands::LayerHybridStateChanged, {{"LayerId", "Lang0_None"}, {"Hybrid", false}});
    EXPECT_TRUE(layer("Lang0_None")->isHybrid());
    command(commands::ItemCreated,
            {{"GroupId", "Layers"}, {"ItemId", "Linked"}, {"ItemOrder", QVariantList{"Linked"}}});
    EXPECT_EQ(KDContext::getContextByIdentifier(QStringLiteral("Linked")), nullptr);
}

TEST_F(LayerTreeTest, MissingStoreFolderStillComposes)
{
    auto manager = makeManager();
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer"}));
}

TEST_F(LayerTreeTest, DemoGroupShowsOneEntryAtATimeFromTheLastAndAnimatesOnlyWhileShown)
{
    store->group(QString(), {"P"});
    store->group(QStringLiteral("P"), {"Demo"});
    store->group(QStringLiteral("P/Demo"), {"D1", "D2", "D3"},
                 {{QStringLiteral("DisplayName"), QStringLiteral("DemoLayers")}});
    for (const char *id : {"D1", "D2", "D3"})
        store->layer(QStringLiteral("P/Demo/%1").arg(QLatin1String(id)),
                     id == QLatin1String("D2") ? disabled() : QVariantMap{});
    auto manager = makeManager();
    auto demo =
        std::static_pointer_cast<KDLayerGroup>(KDContext::getContextByIdentifier(QStringLiteral("Demo")));
    ASSERT_TRUE(demo->isDemoTimerRunning());

    QStringList shown;
    for (int tick = 0; tick < 4; ++tick) {
        shown.append(composition(*manager).last());
        demo->animateDemoGroup();
    }
    // A demo group shows its entries whether they are enabled or not.
    EXPECT_EQ(shown, (QStringList{"D3", "D2", "D1", "D3"}));

    // Hidden by its own switch, its parent's or a toggle request, it stops; shown again, it goes on.
    const std::pair<QString, QVariantMap> steps[] = {
        {commands::LayerVisibilityChanged, {{"LayerId", "Demo"}, {"Enabled", false}}},
        {commands::LayerVisibilityChanged, {{"LayerId", "Demo"}, {"Enabled", true}}},
        {commands::LayerVisibilityChanged, {{"LayerId", "P"}, {"Enabled", false}}},
        {commands::LayerVisibilityChanged, {{"LayerId", "P"}, {"Enabled", true}}},
    };
    for (const auto &[name, info] : steps) {
        command(name, info);
        EXPECT_EQ(demo->isDemoTimerRunning(), info.value("Enabled").toBool())
            << info.value("LayerId").toString().toStdString();
    }
    NotificationCenter::defaultCenter().post(notifications::ToggleLayerAction, QStringLiteral("Demo"));
    EXPECT_FALSE(demo->isDemoTimerRunning());
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer"}));
    NotificationCenter::defaultCenter().post(notifications::ToggleLayerAction, QStringLiteral("Other"));
    EXPECT_FALSE(demo->isDemoTimerRunning());
}

struct MoveCase
{
    const char *name;
    std::vector<std::pair<QString, QVariantMap>> commands;
    QStringList rootOrder;
    QStringList groupOrder;
};

class StructuralCommandTest : public LayerTreeTest, public ::testing::WithParamInterface<MoveCase>
{
};

TEST_P(StructuralCommandTest, OrdersFollowTheCommands)
{
    store->group(QString(), {"A", "G"});
    store->layer(QStringLiteral("A"));
    store->group(QStringLiteral("G"), {"B", "C"});
    store->layer(QStringLiteral("G/B"));
    store->layer(QStringLiteral("G/C"));
    auto manager = makeManager();
    for (const auto &[name, info] : GetParam().commands)
        command(name, info);
    EXPECT_EQ(manager->root()->itemOrder(), GetParam().rootOrder);
    auto group =
        std::static_pointer_cast<KDLayerGroup>(KDContext::getContextByIdentifier(QStringLiteral("G")));
    EXPECT_EQ(group->itemOrder(), GetParam().groupOrder);
}

using Command = std::pair<QString, QVariantMap>;

Command layersMoved(const QString &group, const QVariantList &ids, const QVariantList &order)
{
    return {commands::LayersMoved, {{"GroupId", group}, {"LayerIds", ids}, {"ItemOrder", order}}};
}

// clang-format off
const MoveCase kMoves[] = {
    {.name = "LayersMovedIntoRootKeepsDefaultsThenBlackLayerLast", .commands = {layersMoved("Layers", {"B"}, {"B", "A", "G"})}, .rootOrder = {"B", "A", "G", "Defaults", "BlackLayer"}, .groupOrder = {"C"}},
    {.name = "ItemCreatedInRootKeepsDefaultsThenBlackLayerLast", .commands = {{commands::ItemCreated, {{"GroupId", "Layers"}, {"ItemId", "A"}, {"ItemOrder", QVariantList{"G", "A"}}}}}, .rootOrder = {"G", "A", "Defaults", "BlackLayer"}, .groupOrder = {"B", "C"}},
    {.name = "GroupMovedAfterLayersMovedHasDefaultsOnce", .commands = {layersMoved("Layers", {"C"}, {"A", "C", "G"}), {commands::GroupMoved, {{"GroupId", "G"}, {"ItemOrder", QVariantList{"G", "A", "C"}}}}}, .rootOrder = {"G", "A", "C", "Defaults", "BlackLayer"}, .groupOrder = {"B"}},
    {.name = "LayersMovedIntoGroup", .commands = {layersMoved("G", {"A"}, {"B", "A", "C"})}, .rootOrder = {"G", "Defaults", "BlackLayer"}, .groupOrder = {"B", "A", "C"}},
    {.name = "ItemsDeletedLeaveTheirParentsOrderAndUnknownIdsAreIgnored", .commands = {{commands::ItemsDeleted, {{"ItemIds", QVariantList{"B", "Nope", "A", "BlackLayer"}}}}}, .rootOrder = {"G", "Defaults", "BlackLayer"}, .groupOrder = {"C"}},
    {.name = "FailedLayersMovedKeepsWhatItApplied", .commands = {layersMoved("Layers", {"B", "Nope"}, {"B"})}, .rootOrder = {"A", "G", "Defaults", "BlackLayer"}, .groupOrder = {"C"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Commands, StructuralCommandTest, ::testing::ValuesIn(kMoves),
                         brevona::test::RowName());

struct FailureCase
{
    const char *name;
    QString command;
    QVariantMap info;
    QString message;
};

class CommandFailureTest : public LayerTreeTest, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(CommandFailureTest, LogsItsTextAndSkipsTheRecomposition)
{
    store->group(QString(), {"A", "G"});
    store->layer(QStringLiteral("A"));
    store->group(QStringLiteral("G"), {});
    auto manager = makeManager();
    int recompositions = 0;
    NotificationCenter::defaultCenter().addObserver(this, notifications::SomeConditionHaveTriggered,
                                                    [&](Notification &) { ++recompositions; });
    LogCapture log;
    command(GetParam().command, GetParam().info);
    NotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_EQ(log.count(GetParam().message), 1) << log.messages().join('\n').toStdString();
    EXPECT_EQ(recompositions, 0);
}

// clang-format off
const FailureCase kFailures[] = {
    {.name = "BadTarget", .command = commands::LayersMoved, .info = {{"GroupId", "A"}}, .message = "LayersMoved command has illegal target group id"},
    {.name = "NoLayerIds", .command = commands::LayersMoved, .info = {{"GroupId", "Layers"}}, .message = "LayersMoved command doesn't have layer ids"},
    {.name = "NoOrder", .command = commands::LayersMoved, .info = {{"GroupId", "Layers"}, {"LayerIds", QVariantList{}}}, .message = "LayersMoved command doesn't have new item order"},
    // Without their checks these four crash or recurse in the driver.
    {.name = "UnknownLayer", .command = commands::LayersMoved, .info = {{"GroupId", "Layers"}, {"LayerIds", QVariantList{"X"}}, {"ItemOrder", QVariantList{}}}, .message = "layer with id='X' not found"},
    {.name = "GroupIntoItself", .command = commands::LayersMoved, .info = {{"GroupId", "G"}, {"LayerIds", QVariantList{"G"}}, {"ItemOrder", QVariantList{"G"}}}, .message = "LayersMoved command would put group 'G' inside itself"},
    {.name = "MovedFromNowhere", .command = commands::ButtonsMoved, .info = {{"SourceLayer", "X"}, {"TargetLayer", "A"}}, .message = "buttons moved from non-existing layer"},
    {.name = "MovedToNowhere", .command = commands::ButtonsMoved, .info = {{"SourceLayer", "A"}, {"TargetLayer", "X"}}, .message = "buttons moved to non-existing layer"},
    {.name = "GroupMovedNoOrder", .command = commands::GroupMoved, .info = {{"GroupId", "Layers"}}, .message = "LayersMoved command doesn't have new item order"},
    {.name = "CreatedOutsideItsGroup", .command = commands::ItemCreated, .info = {{"GroupId", "Layers"}, {"ItemId", "../A"}, {"ItemOrder", QVariantList{"A"}}}, .message = "ItemCreated command has an illegal item id"},
    {.name = "DeletedNoIds", .command = commands::ItemsDeleted, .info = {{"Other", 1}}, .message = "illegal LayersDeleted params"},
    {.name = "VisibilityNoId", .command = commands::LayerVisibilityChanged, .info = {{"Enabled", true}}, .message = "LayerVisibilityChanged params doesn't have LayerId"},
    {.name = "ConditionsNoId", .command = commands::LayerConditionsChanged, .info = {{"Conditions", QVariantList{}}}, .message = "LayerConditionsChanged params doesn't have LayerId"},
    {.name = "ConditionsMissing", .command = commands::LayerConditionsChanged, .info = {{"LayerId", "A"}}, .message = "LayerConditionsChanged params doesn't have conditions"},
    {.name = "ConditionWithoutType", .command = commands::LayerConditionsChanged, .info = {{"LayerId", "A"}, {"Conditions", QVariantList{QVariantMap{{"Settings", QVariantMap{}}}}}}, .message = "Illegal condition type"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Failures, CommandFailureTest, ::testing::ValuesIn(kFailures),
                         brevona::test::RowName());

TEST_F(LayerTreeTest, ItemCreatedLoadsTheFolderAndTakesTheOrder)
{
    store->group(QString(), {"A", "G"});
    store->layer(QStringLiteral("A"));
    store->group(QStringLiteral("G"), {});
    auto manager = makeManager();
    store->layer(QStringLiteral("New"));
    command(commands::ItemCreated,
            {{"GroupId", "Layers"}, {"ItemId", "New"}, {"ItemOrder", QVariantList{"New", "A", "G"}}});
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "A", "New"}));

    // The loaded folder carries the identifier of the group handling the command: it replaces that
    // group in the registry while the group is still at work.
    store->layer(QStringLiteral("G/G"));
    command(commands::ItemCreated, {{"GroupId", "G"}, {"ItemId", "G"}, {"ItemOrder", QVariantList{"G"}}});
    EXPECT_FALSE(KDContext::getContextByIdentifier(QStringLiteral("G"))->isGroup());
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "G", "A", "New"}));
}

TEST_F(LayerTreeTest, RefreshRereadsTheWholeStore)
{
    store->group(QString(), {"A"});
    store->layer(QStringLiteral("A"));
    auto manager = makeManager();
    store->layer(QStringLiteral("B"));
    store->group(QString(), {"B"});
    command(commands::RefreshLayer, {{"LayerId", "Defaults"}});
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "B"}));
}

TEST_F(LayerTreeTest, InsertChildChecksItsIndex)
{
    store->group(QString(), {"A"});
    store->layer(QStringLiteral("A"));
    auto manager = makeManager();
    auto root =
        std::static_pointer_cast<KDLayerGroup>(KDContext::getContextByIdentifier(QStringLiteral("Layers")));
    const int count = root->getChildItemsCount();
    EXPECT_EQ(
        root->insertChild(QStringLiteral("X"), static_cast<quint32>(count)),
        QStringLiteral("KDLayerGroup insertChild failed due to illegal parameter: index=%1").arg(count));
    EXPECT_TRUE(root->insertChild(QStringLiteral("X"), KDLayerGroup::AppendIndex).isEmpty());
    EXPECT_TRUE(root->insertChild(QStringLiteral("Y"), 0).isEmpty());
    // Appending stops above the root's own bottom entries.
    EXPECT_EQ(root->itemOrder(), (QStringList{"Y", "A", "X", "Defaults", "BlackLayer"}));
}

TEST_F(LayerTreeTest, ButtonsMovedSwapsOrMoves)
{
    // Hidden layers: nothing has needed their pictures before the keys move, and the pictures go
    // with the keys all the same.
    store->group(QString(), {"S", "T"});
    store->layer(QStringLiteral("S"),
                 {{"Disabled", true}, {"Buttons", QVariantMap{{"G", QVariantMap{}}, {"H", QVariantMap{}}}}},
                 StoreBuilder::layerPicture({{"G", Qt::red}, {"H", Qt::green}}));
    store->layer(QStringLiteral("T"), {{"Disabled", true}, {"Buttons", QVariantMap{{"A", QVariantMap{}}}}},
                 StoreBuilder::layerPicture({{"A", Qt::blue}}));
    auto manager = makeManager();
    command(commands::ButtonsMoved,
            {{"SourceLayer", "S"}, {"TargetLayer", "T"}, {"Buttons", QVariantMap{{"G", "A"}, {"H", "B"}}}});
    auto source = std::static_pointer_cast<KDLayer>(KDContext::getContextByIdentifier(QStringLiteral("S")));
    auto target = std::static_pointer_cast<KDLayer>(KDContext::getContextByIdentifier(QStringLiteral("T")));
    QStringList sourceKeys, targetKeys;
    for (const auto &[key, button] : source->getButtons()) {
        sourceKeys.append(key);
        EXPECT_EQ(button->identifier(), key);
        EXPECT_EQ(button->context(), QStringLiteral("S"));
    }
    for (const auto &[key, button] : target->getButtons()) {
        targetKeys.append(key);
        EXPECT_EQ(button->identifier(), key);
        EXPECT_EQ(button->context(), QStringLiteral("T"));
    }
    EXPECT_EQ(sourceKeys, (QStringList{"G"}));
    EXPECT_EQ(targetKeys, (QStringList{"A", "B"}));
    auto colour = [](const KDLayer &layer, const QString &key) {
        return QColor(layer.getButtons().at(key)->image()->image().pixel(24, 24));
    };
    EXPECT_EQ(colour(*target, QStringLiteral("A")), QColor(Qt::red));
    EXPECT_EQ(colour(*target, QStringLiteral("B")), QColor(Qt::green));
    EXPECT_EQ(colour(*source, QStringLiteral("G")), QColor(Qt::blue));
}

TEST_F(LayerTreeTest, ToggleRequestsInvertTheNamedItemOnly)
{
    store->group(QString(), {"A", "B"});
    store->layer(QStringLiteral("A"));
    store->layer(QStringLiteral("B"));
    auto manager = makeManager();
    NotificationCenter::defaultCenter().post(notifications::ToggleLayerAction, QStringLiteral("A"));
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "B"}));
    NotificationCenter::defaultCenter().post(notifications::ToggleLayerAction, QStringLiteral("A"));
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "B", "A"}));
}

TEST_F(LayerTreeTest, DriveLossHidesEverythingButTheDefaultLayer)
{
    store->group(QString(), {"A"});
    store->layer(QStringLiteral("A"));
    auto manager = makeManager();
    NotificationCenter::defaultCenter().post(notifications::DriveLost);
    EXPECT_EQ(composition(*manager), (QStringList{""}));
    NotificationCenter::defaultCenter().post(notifications::DriveFound);
    EXPECT_EQ(composition(*manager), (QStringList{"", "BlackLayer", "A"}));
}
