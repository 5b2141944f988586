// The layer manager's edits on a real store: placement, delete with reselection, drops, undo and
// failures. RecordingLink checks at every command that the files already say what it tells.
#include <functional>
#include <optional>

#include <QFileInfo>
#include <QUndoStack>

#include "LayerManagerFixture.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "StoreWriter.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;
using Edit = std::function<Outcome(KCLayerManager &)>;

const QString kInitial = QStringLiteral("G1[L1,L2,L3],A,B,G2[]");

struct PlacementRow
{
    const char *name;
    QStringList selection;
    bool group; // a new group instead of a new layer
    QString tree;
};

// clang-format off
const PlacementRow kPlacementRows[] = {
    {.name = "layer_nothing_selected_goes_on_top", .selection = {}, .group = false, .tree = "N,G1[L1,L2,L3],A,B,G2[]"},
    {.name = "layer_group_selected_goes_to_its_end", .selection = {"G1"}, .group = false, .tree = "G1[L1,L2,L3,N],A,B,G2[]"},
    {.name = "layer_in_group_selected_goes_after_it", .selection = {"L2"}, .group = false, .tree = "G1[L1,L2,N,L3],A,B,G2[]"},
    {.name = "layer_several_selected_goes_to_the_end", .selection = {"A", "B"}, .group = false, .tree = "G1[L1,L2,L3],A,B,G2[],N"},
    {.name = "layer_background_selected_goes_to_the_end", .selection = {"ControlButtons"}, .group = false, .tree = "G1[L1,L2,L3],A,B,G2[],N"},
    {.name = "group_nothing_selected_goes_on_top", .selection = {}, .group = true, .tree = "N[],G1[L1,L2,L3],A,B,G2[]"},
    {.name = "group_top_level_selected_goes_after_it", .selection = {"A"}, .group = true, .tree = "G1[L1,L2,L3],A,N[],B,G2[]"},
    {.name = "group_layer_in_group_selected_goes_after_the_group", .selection = {"L2"}, .group = true, .tree = "G1[L1,L2,L3],N[],A,B,G2[]"},
    {.name = "group_background_selected_goes_on_top", .selection = {"ControlButtons"}, .group = true, .tree = "N[],G1[L1,L2,L3],A,B,G2[]"},
};
// clang-format on

class Placement : public LayerManagerFixture, public testing::WithParamInterface<PlacementRow>
{
};

TEST_P(Placement, NewItemLandsWhereTheSelectionSays)
{
    const PlacementRow &row = GetParam();
    manager->setSelection(row.selection);
    ASSERT_EQ(row.group ? manager->createNewGroup() : manager->createNewLayer(), Outcome::Done);
    EXPECT_EQ(tree(), row.tree);
    ASSERT_EQ(link.names(), QStringList{commands::ItemCreated});
    const QString created = link.sent.front().info.value(commands::keys::ItemId).toString();
    EXPECT_EQ(manager->selection(), QStringList{created});
}

INSTANTIATE_TEST_SUITE_P(Rows, Placement, testing::ValuesIn(kPlacementRows), RowName());

struct DeleteRow
{
    const char *name;
    QStringList selection;
    Outcome outcome;
    QString tree;
    QStringList selectionAfter;
    QStringList deleted;
};

// clang-format off
const DeleteRow kDeleteRows[] = {
    {.name = "third_of_a_group_selects_the_second", .selection = {"L3"}, .outcome = Outcome::Done, .tree = "G1[L1,L2],A,B,G2[]", .selectionAfter = {"L2"}, .deleted = {"L3"}},
    {.name = "first_of_a_group_selects_nothing", .selection = {"L1"}, .outcome = Outcome::Done, .tree = "G1[L2,L3],A,B,G2[]", .selectionAfter = {}, .deleted = {"L1"}},
    {.name = "all_of_a_group_selects_the_group", .selection = {"L1", "L2", "L3"}, .outcome = Outcome::Done, .tree = "G1[],A,B,G2[]", .selectionAfter = {"G1"}, .deleted = {"L1", "L2", "L3"}},
    {.name = "group_with_its_child_is_deleted_once", .selection = {"G1", "L2"}, .outcome = Outcome::Done, .tree = "A,B,G2[]", .selectionAfter = {}, .deleted = {"G1"}},
    {.name = "background_in_selection_refuses", .selection = {"A", "ControlButtons"}, .outcome = Outcome::Refused, .tree = kInitial, .selectionAfter = {"A", "ControlButtons"}, .deleted = {}},
};
// clang-format on

class Delete : public LayerManagerFixture, public testing::WithParamInterface<DeleteRow>
{
};

TEST_P(Delete, RemovesFoldersAndReselects)
{
    const DeleteRow &row = GetParam();
    manager->setSelection(row.selection);
    ASSERT_EQ(manager->deleteSelection(), row.outcome);
    EXPECT_EQ(tree(), row.tree);
    EXPECT_EQ(manager->selection(), row.selectionAfter);
    const QStringList expected = row.deleted.isEmpty() ? QStringList() : QStringList{commands::ItemsDeleted};
    ASSERT_EQ(link.names(), expected);
    if (!link.sent.empty()) {
        EXPECT_EQ(link.sent.front().info.value(commands::keys::ItemIds).toStringList(), row.deleted);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Delete, testing::ValuesIn(kDeleteRows), RowName());

// Answers the delete question as told and remembers what was asked.
struct Answer final : DeleteConfirmation
{
    bool yes = true;
    QString asked;
    bool confirmDelete(const QString &message, const QString &informative) override
    {
        asked = message + QStringLiteral(": ") + informative;
        return yes;
    }
};

struct ConfirmRow
{
    const char *name;
    QStringList selection;
    bool yes;
    QString asked; // empty: no question
    Outcome outcome;
};

// clang-format off
const ConfirmRow kConfirmRows[] = {
    {.name = "layer_without_keys_asks_nothing", .selection = {"L2"}, .yes = false, .asked = "", .outcome = Outcome::Done},
    {.name = "empty_group_asks_nothing", .selection = {"G2"}, .yes = false, .asked = "", .outcome = Outcome::Done},
    {.name = "layer_with_keys_declined", .selection = {"L1"}, .yes = false, .asked = "Confirm Delete: Do you really want to delete this layer with all its buttons?", .outcome = Outcome::Cancelled},
    {.name = "layers_plural", .selection = {"L1", "L2"}, .yes = true, .asked = "Confirm Delete: Do you really want to delete these layers with all theirs buttons?", .outcome = Outcome::Done},
    {.name = "group_with_layers", .selection = {"G1"}, .yes = true, .asked = "Confirm Delete: Do you really want to delete this group with all its layers?", .outcome = Outcome::Done},
    {.name = "groups_plural", .selection = {"G1", "G2"}, .yes = true, .asked = "Confirm Delete: Do you really want to delete these groups with all its layers?", .outcome = Outcome::Done},
    {.name = "both_kinds_use_layer_wording", .selection = {"G1", "A"}, .yes = true, .asked = "Confirm Delete: Do you really want to delete this layer with all its buttons?", .outcome = Outcome::Done},
};
// clang-format on

class Confirm : public LayerManagerFixture, public testing::WithParamInterface<ConfirmRow>
{
};

TEST_P(Confirm, AsksOnlyWhenSomethingWouldBeLost)
{
    const ConfirmRow &row = GetParam();
    Answer answer;
    answer.yes = row.yes;
    confirmation = &answer;
    start();
    manager->setSelection(row.selection);
    EXPECT_EQ(manager->deleteSelection(), row.outcome);
    EXPECT_EQ(answer.asked, row.asked);
    EXPECT_EQ(tree() == kInitial, row.outcome != Outcome::Done);
}

INSTANTIATE_TEST_SUITE_P(Rows, Confirm, testing::ValuesIn(kConfirmRows), RowName());

struct DropRow
{
    const char *name;
    QStringList dragged;
    QString onItem;
    int childIndex;
    std::optional<KCLayerManager::DropTarget> target;
};

// clang-format off
const DropRow kDropRows[] = {
    {.name = "layer_above_the_header_refused", .dragged = {"L1"}, .onItem = "", .childIndex = 0, .target = std::nullopt},
    {.name = "layer_below_the_last_row_lands_at_the_end", .dragged = {"L1"}, .onItem = "", .childIndex = 99, .target = KCLayerManager::DropTarget{"Layers", 4}},
    {.name = "layer_between_top_rows", .dragged = {"L1"}, .onItem = "", .childIndex = 2, .target = KCLayerManager::DropTarget{"Layers", 1}},
    {.name = "layer_onto_a_layer_refused", .dragged = {"L1"}, .onItem = "A", .childIndex = -1, .target = std::nullopt},
    {.name = "layer_onto_a_group_goes_to_its_end", .dragged = {"A"}, .onItem = "G1", .childIndex = -1, .target = KCLayerManager::DropTarget{"G1", 3}},
    {.name = "layer_into_a_group_beyond_its_end_clamped", .dragged = {"A"}, .onItem = "G2", .childIndex = 5, .target = KCLayerManager::DropTarget{"G2", 0}},
    {.name = "group_onto_a_group_lands_after_it", .dragged = {"G2"}, .onItem = "G1", .childIndex = -1, .target = KCLayerManager::DropTarget{"Layers", 1}},
    {.name = "group_above_the_header_goes_first", .dragged = {"G2"}, .onItem = "", .childIndex = 0, .target = KCLayerManager::DropTarget{"Layers", 0}},
    {.name = "background_among_several_refused", .dragged = {"A", "ControlButtons"}, .onItem = "", .childIndex = 1, .target = std::nullopt},
    {.name = "onto_a_background_refused", .dragged = {"A"}, .onItem = "ControlButtons", .childIndex = -1, .target = std::nullopt},
};
// clang-format on

class Drop : public LayerManagerFixture, public testing::WithParamInterface<DropRow>
{
};

TEST_P(Drop, LandsOrIsRefused)
{
    const DropRow &row = GetParam();
    EXPECT_EQ(manager->validateDrop(row.dragged, row.onItem, row.childIndex), row.target);
}

INSTANTIATE_TEST_SUITE_P(Rows, Drop, testing::ValuesIn(kDropRows), RowName());

Edit select(QStringList rows, Edit edit)
{
    return [rows, edit](KCLayerManager &manager) {
        manager.setSelection(rows);
        return edit(manager);
    };
}

const Edit kNewLayer = [](KCLayerManager &manager) { return manager.createNewLayer(); };
const Edit kNewGroup = [](KCLayerManager &manager) { return manager.createNewGroup(); };
const Edit kDelete = [](KCLayerManager &manager) { return manager.deleteSelection(); };

Edit move(QStringList dragged, QString group, int index)
{
    return [=](KCLayerManager &manager) { return manager.acceptDrop(dragged, {group, index}); };
}

QImage green()
{
    QImage picture(48, 48, QImage::Format_RGB32);
    picture.fill(Qt::green);
    return picture;
}

struct UndoRow
{
    const char *name;
    Edit edit;
    QString tree;           // after the edit
    QStringList undoneWith; // the commands undo sends
};

// clang-format off
const UndoRow kUndoRows[] = {
    {.name = "new_layer", .edit = select({"L2"}, kNewLayer), .tree = "G1[L1,L2,N,L3],A,B,G2[]", .undoneWith = {"ItemsDeleted"}},
    {.name = "new_group", .edit = select({}, kNewGroup), .tree = "N[],G1[L1,L2,L3],A,B,G2[]", .undoneWith = {"ItemsDeleted"}},
    {.name = "delete_group_and_layer", .edit = select({"G1", "B"}, kDelete), .tree = "A,G2[]", .undoneWith = {"ItemCreated", "ItemCreated"}},
    {.name = "disable", .edit = [](KCLayerManager &m) { return m.toggleLayer("A", false); }, .tree = kInitial, .undoneWith = {"LayerVisibilityChanged"}},
    {.name = "hybrid", .edit = [](KCLayerManager &m) { return m.setHybrid("L3", true); }, .tree = kInitial, .undoneWith = {"LayerHybridStateChanged"}},
    {.name = "rename_to_trash", .edit = [](KCLayerManager &m) { return m.rename("G2", "Trash"); }, .tree = kInitial, .undoneWith = {"LayerVisibilityChanged"}},
    {.name = "rename", .edit = [](KCLayerManager &m) { return m.rename("A", "Mail"); }, .tree = kInitial, .undoneWith = {}},
    {.name = "move_layers_from_two_groups", .edit = move({"L1", "A"}, "G2", 0), .tree = "G1[L2,L3],B,G2[L1,A]", .undoneWith = {"LayersMoved", "LayersMoved"}},
    {.name = "move_within_group", .edit = move({"L3"}, "G1", 0), .tree = "G1[L3,L1,L2],A,B,G2[]", .undoneWith = {"LayersMoved"}},
    {.name = "move_group", .edit = move({"G2"}, "Layers", 0), .tree = "G2[],G1[L1,L2,L3],A,B", .undoneWith = {"GroupMoved"}},
    {.name = "set_new_key", .edit = [](KCLayerManager &m) { return m.setKeyPicture("A", "App1", green()); }, .tree = kInitial, .undoneWith = {"ButtonsDeleted"}},
    {.name = "set_existing_key", .edit = [](KCLayerManager &m) { return m.setKeyPicture("L1", "App0", green()); }, .tree = kInitial, .undoneWith = {"ButtonsChanged"}},
    {.name = "clear_key", .edit = [](KCLayerManager &m) { return m.clearKey("L1", "App0"); }, .tree = kInitial, .undoneWith = {"ButtonsChanged"}},
    {.name = "move_key_to_another_layer", .edit = [](KCLayerManager &m) { return m.moveKey("L1", "App0", "A", "App1"); }, .tree = kInitial, .undoneWith = {"ButtonsDeleted", "ButtonsChanged"}},
    {.name = "plugins_on_an_old_and_a_new_key",
     .edit =
         [](KCLayerManager &m) {
             const QVariantMap display{{"Signature", "s.clock"}, {"Settings", QVariantMap{{"format", "h"}}}};
             return m.setKeys("L1",
                              {{"App0", KCLayerManager::KeyState{green(), {{"DisplayPlugin", display}}}},
                               {"App1", KCLayerManager::KeyState{green(), {{"ActionPlugin", display}}}}},
                              "Set Keys");
         },
     .tree = kInitial,
     .undoneWith = {"ButtonsChanged", "ButtonsDeleted"}},
};
// clang-format on

class Undo : public LayerManagerFixture, public testing::WithParamInterface<UndoRow>
{
};

TEST_P(Undo, RestoresTheFilesExactlyAndTellsTheDriver)
{
    const UndoRow &row = GetParam();
    const auto before = files();
    ASSERT_EQ(row.edit(*manager), Outcome::Done) << manager->lastError().toStdString();
    const auto after = files();
    EXPECT_EQ(tree(), row.tree);
    const size_t sends = row.undoneWith.isEmpty() ? 0u : 1u;
    EXPECT_EQ(link.sent.size(), sends);
    link.sent.clear();

    manager->undoStack()->undo();
    EXPECT_EQ(tree(), kInitial);
    EXPECT_EQ(files(), before);
    EXPECT_EQ(link.names(), row.undoneWith);
    link.sent.clear();

    manager->undoStack()->redo();
    EXPECT_EQ(tree(), row.tree);
    EXPECT_EQ(files(), after);
    EXPECT_EQ(link.sent.size(), sends);
}

INSTANTIATE_TEST_SUITE_P(Rows, Undo, testing::ValuesIn(kUndoRows), RowName());

struct FaultRow
{
    const char *name;
    QString failing; // the end of the path of the write that fails
    Edit edit;
};

// clang-format off
const FaultRow kFaultRows[] = {
    {.name = "new_layer_order", .failing = "G1/Group.plist", .edit = select({"L2"}, kNewLayer)},
    {.name = "new_layer_picture", .failing = "Main.tiff", .edit = select({"L2"}, kNewLayer)},
    {.name = "delete_order", .failing = "G1/Group.plist", .edit = select({"L1", "A"}, kDelete)},
    {.name = "disable", .failing = "A/Layer.plist", .edit = [](KCLayerManager &m) { return m.toggleLayer("A", false); }},
    {.name = "rename_to_trash", .failing = "G2/Group.plist", .edit = [](KCLayerManager &m) { return m.rename("G2", "Trash"); }},
    {.name = "move_into_group", .failing = "Layers/Group.plist", .edit = move({"A", "B"}, "G2", 0)},
    {.name = "set_key", .failing = "Main.tiff", .edit = [](KCLayerManager &m) { return m.setKeyPicture("L1", "App0", green()); }},
};
// clang-format on

class Fault : public LayerManagerFixture, public testing::WithParamInterface<FaultRow>
{
};

TEST_P(Fault, FailedWriteChangesNothingAndSendsNothing)
{
    const FaultRow &row = GetParam();
    const auto before = files();
    manager->writer().setFaultInjector([&](const QString &path) { return path.endsWith(row.failing); });
    EXPECT_EQ(row.edit(*manager), Outcome::Failed);
    EXPECT_FALSE(manager->lastError().isEmpty());
    EXPECT_EQ(tree(), kInitial);
    EXPECT_EQ(files(), before);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(manager->undoStack()->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, Fault, testing::ValuesIn(kFaultRows), RowName());

TEST_F(LayerManagerFixture, PluginToggleRewritesTheFileWithoutACommand)
{
    ASSERT_EQ(manager->pluginToggleLayerVisibility("L2"), Outcome::Done);
    EXPECT_TRUE(link.plist("L2").value("Disabled").toBool());
    EXPECT_EQ(manager->pluginToggleLayerVisibility("../L2"), Outcome::Refused);
    EXPECT_TRUE(link.sent.empty());
}

struct PictureSaveRow
{
    const char *name;
    Edit edit;      // run while L2's picture save is pending
    QString folder; // where L2's folder is afterwards
    QString gone;   // a folder that must not come back
};

// clang-format off
const PictureSaveRow kPictureSaveRows[] = {
    {.name = "moved_layer_takes_it_along", .edit = move({"L2"}, "Layers", 0), .folder = "L2", .gone = "G1/L2"},
    {.name = "deleted_layer_is_not_recreated", .edit = select({"L2"}, kDelete), .folder = "", .gone = "G1/L2"},
};
// clang-format on

class PictureSave : public LayerManagerFixture, public testing::WithParamInterface<PictureSaveRow>
{
};

TEST_P(PictureSave, LandsInTheItemsFolderOrNowhere)
{
    const PictureSaveRow &row = GetParam();
    auto layer = std::static_pointer_cast<KCSingleLayer>(manager->findLayerByID("L2"));
    layer->createButton("App1");
    layer->setImage(green(), "App1");
    manager->saveImageOfLayer("L2");
    ASSERT_EQ(row.edit(*manager), Outcome::Done);
    manager->flushPictureSaves();
    EXPECT_FALSE(manager->hasPendingPictureSave());
    EXPECT_FALSE(QFileInfo::exists(root + "/" + row.gone));
    if (row.folder.isEmpty()) {
        manager->undoStack()->undo(); // the parked folder kept the picture
        manager->flushPictureSaves();
    }
    const QString folder = row.folder.isEmpty() ? QStringLiteral("G1/L2") : row.folder;
    const auto stored = LayerPicture::readStored(root + "/" + folder + "/Main.tiff");
    ASSERT_TRUE(stored.has_value());
    const QPoint cell = *LayerPicture::location("App1");
    EXPECT_EQ(stored->pixelColor(cell + QPoint(24, 24)), QColor(Qt::green));
}

INSTANTIATE_TEST_SUITE_P(Rows, PictureSave, testing::ValuesIn(kPictureSaveRows), RowName());

class FailedUndo : public LayerManagerFixture, public testing::WithParamInterface<UndoRow>
{
};

// A full disk while undoing keeps the edit on the stack: nothing changes, and undo works once
// there is room again.
TEST_P(FailedUndo, KeepsTheEditForAnotherTry)
{
    const UndoRow &row = GetParam();
    ASSERT_EQ(row.edit(*manager), Outcome::Done);
    const auto after = files();
    link.sent.clear();
    manager->writer().setFaultInjector([](const QString &path) { return path.endsWith("Group.plist"); });
    EXPECT_EQ(manager->undo(), Outcome::Failed);
    EXPECT_EQ(tree(), row.tree);
    EXPECT_EQ(files(), after);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(manager->undoStack()->index(), 1);
    manager->writer().setFaultInjector({});
    EXPECT_EQ(manager->undo(), Outcome::Done);
    EXPECT_EQ(tree(), kInitial);
    EXPECT_EQ(link.names(), row.undoneWith);
}

// An edit that writes a group order each way: delete, new group, a move between groups.
INSTANTIATE_TEST_SUITE_P(Rows, FailedUndo, testing::Values(kUndoRows[2], kUndoRows[1], kUndoRows[7]),
                         RowName());

} // namespace
} // namespace brevona::test
