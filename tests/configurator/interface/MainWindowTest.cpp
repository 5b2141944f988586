// The configurator's window on a real layer store and the test's session bus, driven as a user
// and assistive technology drive it: actions found by their accessible names, key presses, clicks
// on the switches, drops. What the window did is read back from the store's files.
#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "AppController.h"
#include "ApplicationCatalog.h"
#include "ApplicationsHelper.h"
#include "ConditionRowEditor.h"
#include "ConditionsPane.h"
#include "DeleteConfirmationDialog.h"
#include "DisplayActionPane.h"
#include "EditorArea.h"
#include "FakeApplicationCatalog.h"
#include "FakeApplicationMonitor.h"
#include "FakeDriver.h"
#include "FakeDriverLauncher.h"
#include "FakeKeyTranslator.h"
#include "FakeKeyboardLayouts.h"
#include "FakeLanguageSource.h"
#include "KCConditionsManager.h"
#include "KCPluginManager.h"
#include "KCGroupLayer.h"
#include "KCKeyboardView.h"
#include "LayerListModel.h"
#include "LanguagesHelper.h"
#include "LayerListView.h"
#include "LayerPicture.h"
#include "MainWindow.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "StoreBuilder.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

// Every accessible object the tree holds, depth first.
void collect(QAccessibleInterface *node, QList<QAccessibleInterface *> &all, int depth = 0)
{
    if (!node || depth > 12)
        return;
    all << node;
    for (int i = 0; i < node->childCount(); ++i)
        collect(node->child(i), all, depth + 1);
}

class MainWindowTest : public testing::Test
{
public:
    void writeRoot(const QByteArray &bytes)
    {
        QFile root(store.root() + "/Group.plist");
        ASSERT_TRUE(root.open(QIODevice::WriteOnly | QIODevice::Truncate));
        root.write(bytes);
    }
    void setBus(const QString &address) { env.busAddress = address; }

protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        QObject::connect(&answerer, &QTimer::timeout, [this] { answerBox(); });
        preferences.setValue(PreferenceKeys::QuietMode, true);
        env.supportFolder = home.dataHome() + "/Lumivox";
        auto translator = std::make_shared<FakeKeyTranslator>();
        translator->add("us", "A", 0, "a");
        env.translator = translator;
        env.languages = {{0, "us", "English"}};
        // A has a key (deleting it asks), C has none; G holds B and C.
        store.group("", {"A", "G"});
        store.layer("A", {{"DisplayName", "A"}, {"Buttons", StoreBuilder::buttons({"App0"})}});
        store.group("G", {"B", "C"}, {{"DisplayName", "G"}, {"Expanded", true}});
        store.layer("G/B", {{"DisplayName", "B"}});
        store.layer("G/C", {{"DisplayName", "C"}});
    }

    void TearDown() override
    {
        window.reset();
        controller.reset();
        ApplicationCatalog::setInstance(nullptr);
    }

    void start()
    {
        controller = std::make_unique<AppController>(env, preferences, launcher, &confirmation);
        window = std::make_unique<MainWindow>(*controller, preferences, applications, languages);
        confirmation.setParentWidget(window.get());
        window->showStartResult(controller->start());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    KCLayerManager &manager() { return controller->layerManager(); }

    // A closed modal box gives the activation back through the window manager, which the
    // offscreen platform lacks.
    void activate()
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // The tree as the store's files have it: titles in order, "-" before an item switched off,
    // a group's layers in brackets, "_" for an untitled item.
    QString storeTree(const QString &relative = {})
    {
        const auto group = PropertyList::readDictionary(store.root() + "/" + relative + "/Group.plist");
        if (!group)
            return "?";
        QStringList items;
        for (const QVariant &id : group->value("ItemOrder").toList()) {
            const QString path = relative.isEmpty() ? id.toString() : relative + "/" + id.toString();
            const bool isGroup = QFileInfo::exists(store.root() + "/" + path + "/Group.plist");
            const auto plist = PropertyList::readDictionary(store.root() + "/" + path +
                                                            (isGroup ? "/Group.plist" : "/Layer.plist"));
            if (!plist)
                return "?";
            QString title = plist->value("DisplayName").toString();
            title = QString(plist->value("Disabled").toBool() ? "-" : "") +
                    (plist->value("Hybrid").toBool() ? "*" : "") + (title.isEmpty() ? "_" : title);
            items << (isGroup ? title + "[" + storeTree(path) + "]" : title);
        }
        return items.join(' ');
    }

    QString idOf(QString title)
    {
        if (title == "_")
            title.clear();
        const auto find = [&](const KCGroupLayer &group, const auto &self) -> QString {
            for (const auto &child : group.layers()) {
                if (child->title() == title)
                    return child->UUID();
                if (child->isGroup()) {
                    const QString inner = self(static_cast<const KCGroupLayer &>(*child), self);
                    if (!inner.isEmpty())
                        return inner;
                }
            }
            return {};
        };
        return find(*manager().rootGroup(), find);
    }

    QModelIndex rowOf(const QString &title)
    {
        return window->layerModel()->indexOf(
            title.startsWith("Language") || title == "ControlButtons" ? title : idOf(title));
    }

    void select(const QStringList &titles)
    {
        auto *list = window->layerList();
        list->selectionModel()->clear();
        for (const QString &title : titles)
            list->selectionModel()->select(rowOf(title),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->setFocus();
    }

    QAccessibleInterface *accessible(const QString &name)
    {
        QList<QAccessibleInterface *> all;
        collect(QAccessible::queryAccessibleInterface(window.get()), all);
        for (QAccessibleInterface *node : all) {
            if (node->text(QAccessible::Name) == name && node->actionInterface())
                return node;
        }
        return nullptr;
    }

    // Presses the control of that accessible name as a screen reader would.
    bool press(const QString &name)
    {
        QAccessibleInterface *node = accessible(name);
        if (!node ||
            !node->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()))
            return false;
        node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        settle(std::chrono::milliseconds(0));
        return true;
    }

    // Answers the next modal box with the button of that accessible name.
    void answerNextBox(const QString &button)
    {
        answer = button;
        answerer.start(10);
    }

    void answerBox()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        for (auto *candidate : modal->findChildren<QPushButton *>()) {
            if (candidate->accessibleName() == answer || candidate->text().remove('&') == answer) {
                answerer.stop();
                candidate->click();
                return;
            }
        }
    }

    // Clicks the switch of a row where the style draws it.
    void clickSwitch(const QString &title)
    {
        auto *list = window->layerList();
        const QModelIndex index = rowOf(title);
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(index);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                          QStyleOptionViewItem::HasDecoration;
        option.decorationSize = list->iconSize();
        option.text = index.data().toString();
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }

    TestHome home;
    StoreBuilder store{home.dataHome() + "/Lumivox/Layers"};
    PreferencesStore preferences{home.configHome() + "/prefs.plist"};
    FakeDriverLauncher launcher;
    DeleteConfirmationDialog confirmation;
    AppController::Environment env;
    FakeApplicationCatalog catalog;
    FakeApplicationMonitor monitor;
    ApplicationsHelper applications{catalog, monitor, preferences, home.cacheHome()};
    FakeLanguageSource source;
    FakeKeyboardLayouts layouts;
    LanguagesHelper languages{source, layouts};
    std::unique_ptr<AppController> controller;
    std::unique_ptr<MainWindow> window;
    QTimer answerer;
    QString answer;
};

// One gesture after another, then the tree in the files ("*" marks a hybrid layer). Steps: "key:SEQUENCE" (a
// key press in the window), "press:NAME" (an accessible action), "answer:BUTTON" (for the box the next step
// opens), "type:TEXT" (into the open editor, then Return), "switch:TITLE" (a click on the row's
// check box), "drop:TITLE>ROW" (the row dropped at that top-level row) or "drop:TITLE>onto:GROUP".
struct GestureRow
{
    const char *name;
    QStringList select;
    QStringList steps;
    QString tree;
};

// clang-format off
const GestureRow kGestures[] = {
    {.name = "ctrl n adds an untitled layer at the top", .select = {}, .steps = {"key:Ctrl+N"}, .tree = "_ A G[B C]"},
    {.name = "new layer button adds after the selected layer in its group", .select = {"B"}, .steps = {"press:New Layer"}, .tree = "A G[B _ C]"},
    {.name = "new group button adds after the selected item", .select = {"A"}, .steps = {"press:New Group"}, .tree = "A _[] G[B C]"},
    {.name = "delete key asks for a layer with keys and deletes on delete", .select = {"A"}, .steps = {"answer:Delete", "key:Del"}, .tree = "G[B C]"},
    {.name = "cancel keeps the layer", .select = {"A"}, .steps = {"answer:Cancel", "press:Delete"}, .tree = "A G[B C]"},
    {.name = "a layer without keys goes without a question", .select = {"C"}, .steps = {"key:Del"}, .tree = "A G[B]"},
    {.name = "f2 renames in place", .select = {"B"}, .steps = {"key:F2", "type:Renamed"}, .tree = "A G[Renamed C]"},
    {.name = "a group renamed trash is switched off", .select = {"G"}, .steps = {"key:F2", "type:Trash"}, .tree = "A -Trash[B C]"},
    {.name = "the switch turns a layer off and on", .select = {}, .steps = {"switch:B", "switch:C", "switch:C"}, .tree = "A G[-B C]"},
    {.name = "undo in the edit menu names the edit and restores the files", .select = {"A"}, .steps = {"press:New Layer", "switch:B", "press:Undo Disable", "press:Undo New Layer"}, .tree = "A G[B C]"},
    {.name = "hybrid in the edit menu switches the layer's zones", .select = {"A"}, .steps = {"press:Hybrid"}, .tree = "*A G[B C]"},
    {.name = "ctrl z and ctrl shift z undo and redo", .select = {}, .steps = {"key:Ctrl+N", "key:Ctrl+N", "key:Ctrl+Z", "key:Ctrl+Z", "key:Ctrl+Shift+Z"}, .tree = "_ A G[B C]"},
    {.name = "redo after undo of a delete deletes again", .select = {"A"}, .steps = {"answer:Delete", "key:Del", "key:Ctrl+Z", "press:Redo Delete"}, .tree = "G[B C]"},
    {.name = "a layer dropped between top level rows moves there", .select = {}, .steps = {"drop:C>1"}, .tree = "C A G[B]"},
    {.name = "a layer dropped onto a group goes to its end", .select = {}, .steps = {"drop:A>onto:G"}, .tree = "G[B C A]"},
    {.name = "a group dropped onto a group lands after it", .select = {"G"}, .steps = {"key:Ctrl+Shift+N", "drop:G>onto:_"}, .tree = "A _[] G[B C]"},
    {.name = "a drop below the backgrounds lands at the end of the layers", .select = {}, .steps = {"drop:B>99"}, .tree = "A G[C] B"},
};
// clang-format on

class GestureTest : public MainWindowTest, public testing::WithParamInterface<GestureRow>
{
};

TEST_P(GestureTest, EditsTheStoreAsTheUserAsked)
{
    const GestureRow &row = GetParam();
    start();
    select(row.select);
    for (const QString &step : row.steps) {
        const QString kind = step.section(':', 0, 0);
        const QString argument = step.section(':', 1);
        if (kind == "key") {
            activate();
            QTest::keySequence(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(),
                               QKeySequence(argument));
        } else if (kind == "press") {
            ASSERT_TRUE(press(argument)) << "no enabled control named " << argument.toStdString();
        } else if (kind == "answer") {
            answerNextBox(argument);
        } else if (kind == "type") {
            auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            ASSERT_NE(editor, nullptr) << "no editor open";
            editor->selectAll();
            QTest::keyClicks(editor, argument);
            QTest::keyClick(editor, Qt::Key_Return);
        } else if (kind == "switch") {
            clickSwitch(argument);
        } else if (kind == "drop") {
            const QString title = argument.section('>', 0, 0);
            const QString place = argument.section('>', 1);
            auto *model = window->layerModel();
            std::unique_ptr<QMimeData> data(model->mimeData({rowOf(title)}));
            ASSERT_TRUE(data);
            if (place.startsWith("onto:"))
                model->dropMimeData(data.get(), Qt::MoveAction, -1, -1, rowOf(place.mid(5)));
            else
                model->dropMimeData(data.get(), Qt::MoveAction, place.toInt(), 0, {});
        }
        settle(std::chrono::milliseconds(0));
    }
    EXPECT_TRUE(waitUntil([&] { return storeTree() == row.tree; })) << storeTree().toStdString();
    // The list shows what the files hold.
    EXPECT_EQ(window->layerModel()->rowCount(), manager().rootGroup()->count() + 4);
}

INSTANTIATE_TEST_SUITE_P(Rows, GestureTest, testing::ValuesIn(kGestures), RowName());

TEST_F(MainWindowTest, ToolbarHasTheItemsInOrderAndEveryControlIsNamed)
{
    start();
    QStringList names;
    for (QAction *action : window->findChild<QToolBar *>("BrevonaToolbar")->actions()) {
        if (auto *button = qobject_cast<QToolButton *>(
                window->findChild<QToolBar *>("BrevonaToolbar")->widgetForAction(action))) {
            names << button->accessibleName();
            if (action->objectName() == "NewLayer" || action->objectName() == "NewGroup") {
                EXPECT_EQ(button->menu()->actions().first()->text(), "No Conditions");
            }
            if (!action->isEnabled()) {
                EXPECT_FALSE(action->toolTip().isEmpty()) << names.last().toStdString();
            }
        }
    }
    EXPECT_EQ(names, QStringList({"New Layer", "New Group", "Delete", "Import", "Export", "Paint", "Updates",
                                  "Preferences"}));

    QList<QAccessibleInterface *> all;
    collect(QAccessible::queryAccessibleInterface(window.get()), all);
    const QList<QAccessible::Role> controls = {
        QAccessible::PushButton, QAccessible::ButtonMenu, QAccessible::ButtonDropDown,
        QAccessible::CheckBox,   QAccessible::MenuItem,   QAccessible::Tree,
        QAccessible::Splitter,   QAccessible::Grip,       QAccessible::ToolBar,
        QAccessible::StatusBar,  QAccessible::MenuBar,    QAccessible::PageTabList};
    int checked = 0;
    for (QAccessibleInterface *node : all) {
        if (!controls.contains(node->role()) || node->state().invisible)
            continue;
        ++checked;
        EXPECT_FALSE(node->text(QAccessible::Name).isEmpty())
            << "a control of role " << node->role()
            << " has no name: " << node->object()->metaObject()->className();
    }
    EXPECT_GE(checked, 20);
}

TEST_F(MainWindowTest, TheEditorPageAndTheActionsFollowTheSelection)
{
    start();
    struct Case
    {
        QStringList select;
        EditorArea::Page page;
        bool canDelete;
        bool canRename;
        bool keyShown;      // the keyboard view shows A's key App0
        QString conditions; // the conditions pane's message
    } cases[] = {
        {{"A"}, EditorArea::DisplayAndAction, true, true, true, "No conditions"},
        {{"Language0"}, EditorArea::LanguageOptions, false, false, false, "(English language)"},
        {{"ControlButtons"}, EditorArea::ControlButtons, false, false, false, "No conditions"},
        {{"A", "B"}, EditorArea::DisplayAndAction, true, false, false, "Multiple selection"},
        {{"A", "ControlButtons"}, EditorArea::DisplayAndAction, false, false, false, "Multiple selection"},
    };
    for (const Case &c : cases) {
        select(c.select);
        EXPECT_EQ(window->editorArea()->currentPage(), c.page) << c.select.join(',').toStdString();
        EXPECT_EQ(accessible("Delete") && accessible("Delete")->state().disabled == false, c.canDelete)
            << c.select.join(',').toStdString();
        EXPECT_EQ(window->findChild<QAction *>("Rename")->isEnabled(), c.canRename);
        EXPECT_EQ(!window->keyboardView()->imageForButton("App0").isNull(), c.keyShown)
            << c.select.join(',').toStdString();
        ASSERT_TRUE(waitUntil([&] { return accessible("Add condition") != nullptr; }));
        EXPECT_TRUE(waitUntil([&] {
            return window->findChild<QLabel *>("conditionsMessage")->text() == c.conditions;
        })) << c.select.join(',').toStdString();
        // Only the one layer of the user's tree takes conditions.
        EXPECT_EQ(window->conditionsPane()->addButton()->isEnabled(), c.select == QStringList{"A"});
    }
    // The background rows come after the user's, under their header.
    EXPECT_EQ(window->layerModel()->index(3, 0).data().toString(), LayerListModel::BackgroundsHeader);
    EXPECT_FALSE(window->layerModel()->flags(window->layerModel()->index(0, 0)) & Qt::ItemIsSelectable);
}

// The pane edits the selected layer's conditions through its controls; the rows, the pane's
// height, the list's names and undo follow. The rules themselves are the condition editor's.
TEST_F(MainWindowTest, ConditionsAreEditedInThePaneAndUndone)
{
    catalog.add({"files", "Files", "/apps/files.desktop", "#ff0000"});
    catalog.setDefault(KCConditionsManager::FolderMimeType, "files");
    applications.updateInstalledApplicationsList();
    applications.waitForScan();
    start();
    ConditionsPane *pane = window->conditionsPane();
    const auto conditionsOf = [&](const QString &id) {
        const auto plist = PropertyList::readDictionary(store.root() + "/" + id + "/Layer.plist");
        QStringList kinds;
        for (const QVariant &record : plist ? plist->value("Conditions").toList() : QVariantList()) {
            const QVariantMap map = record.toMap();
            const QVariantMap settings = map.value("Settings").toMap();
            kinds << map.value("Type").toString().section('.', -1) + "=" +
                         settings.value(settings.contains("Keys") ? "Keys" : "Application").toString();
        }
        return kinds.join(' ');
    };
    const auto rowTexts = [&] {
        QStringList texts;
        for (ConditionRowEditor *row : pane->rows())
            texts << row->accessibleName();
        return texts.join(" / ");
    };
    const auto add = [&](const QString &type) {
        for (QAction *action : pane->addButton()->menu()->actions()) {
            if (action->data().toString() == type && action->isEnabled()) {
                action->trigger();
                return true;
            }
        }
        return false;
    };

    select({"A"});
    ASSERT_TRUE(waitUntil([&] { return pane->addButton()->isEnabled(); }));
    ASSERT_TRUE(add("brevona.condition.modifier"));
    EXPECT_EQ(conditionsOf("A"), "modifier=");
    ASSERT_TRUE(waitUntil([&] { return rowTexts() == "No modifiers are pressed"; }))
        << rowTexts().toStdString();
    EXPECT_FALSE(add("brevona.condition.modifier")) << "a second modifier condition is offered";
    const int oneRow = pane->height();

    pane->rows().first()->findChild<QToolButton *>("Shift")->click();
    EXPECT_EQ(conditionsOf("A"), "modifier=Shift");
    ASSERT_TRUE(add("brevona.condition.application"));
    ASSERT_TRUE(waitUntil([&] { return pane->rows().size() == 2; }));
    EXPECT_EQ(rowTexts(), "⇧ Shift is pressed / Files is active");
    EXPECT_GT(pane->height(), oneRow);
    EXPECT_EQ(pane->height(), pane->neededHeight());

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(conditionsOf("A"), "modifier=Shift");
    ASSERT_TRUE(waitUntil([&] { return pane->rows().size() == 1; }));
    EXPECT_EQ(pane->height(), oneRow);
    pane->rows().first()->findChild<QToolButton *>("deleteCondition")->click();
    EXPECT_EQ(conditionsOf("A"), "");
    EXPECT_TRUE(waitUntil([&] { return pane->rows().isEmpty(); }));

    // A group made from the toolbar's menu with a first condition goes by its application's name.
    QMenu *menu = window->findChild<QMenu *>("NewGroupMenu");
    ASSERT_TRUE(menu);
    for (QAction *action : menu->actions()) {
        if (action->text() == "Application-specific")
            action->trigger();
    }
    const QString group = manager().currentLayer()->UUID();
    EXPECT_EQ(window->layerModel()->indexOf(group).data().toString(), "Files");
    ASSERT_TRUE(waitUntil([&] { return rowTexts() == "Files is active"; })) << rowTexts().toStdString();
    EXPECT_EQ(pane->rows().first()->findChild<QToolButton *>("applicationButton")->text(), "Files");
}

// The display and action menus of the selected key, with undo, and a picture from a file fitted
// to the key. The assignment rules themselves are the display and action manager's.
TEST_F(MainWindowTest, TheSelectedKeyGetsPluginsAndPicturesFromThePane)
{
    // A bundle around the probe's code that names its plugins, as the menus want.
    const QString bundle = home.dataHome() + "/plugins/Clock.plugin/Contents";
    ASSERT_TRUE(QDir().mkpath(bundle + "/Linux"));
    ASSERT_TRUE(PropertyList::writeFile(
        bundle + "/Info.plist",
        QVariantMap{{"CFBundleExecutable", "Probe"},
                    {"KCDisplayPlugins", QVariantMap{{"t.clock", QVariantMap{{"DisplayName", "Clock"}}}}},
                    {"KCActionPlugins", QVariantMap{{"t.run", QVariantMap{{"DisplayName", "Run"}}}}}}));
    ASSERT_TRUE(QFile::link(QStringLiteral(BREVONA_TEST_PLUGIN_DIR) + "/Probe.plugin/Contents/Linux/Probe.so",
                            bundle + "/Linux/Probe.so"));
    KCPluginManager catalogue({home.dataHome() + "/plugins"});
    start();
    window->setPluginCatalogue(&catalogue);
    DisplayActionPane *pane = window->displayActionPane();
    const auto key = [&](const QString &side) {
        const auto plist = PropertyList::readDictionary(store.root() + "/A/Layer.plist");
        return plist->value("Buttons")
            .toMap()
            .value("App0")
            .toMap()
            .value(side)
            .toMap()
            .value("Signature")
            .toString();
    };
    const auto pick = [&](QToolButton *button, const QString &title) {
        for (QAction *action : button->menu()->actions()) {
            if (action->text() == title)
                action->trigger();
        }
    };

    select({"A"});
    window->keyboardView()->selectButtonNamed("App0", false);
    ASSERT_TRUE(waitUntil([&] { return pane->displayButton()->text() == "Picture"; }))
        << pane->displayButton()->text().toStdString();
    EXPECT_EQ(pane->displayArea()->currentWidget()->objectName(), "picturePage");

    pick(pane->displayButton(), "Clock");
    EXPECT_EQ(key("DisplayPlugin"), "t.clock");
    ASSERT_TRUE(waitUntil([&] { return pane->displayButton()->text() == "Clock"; }));
    pick(pane->actionButton(), "Run");
    EXPECT_EQ(key("ActionPlugin"), "t.run");
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(key("DisplayPlugin") + key("ActionPlugin"), "");
    ASSERT_TRUE(waitUntil([&] { return pane->displayButton()->text() == "Picture"; }));

    // A wide picture is fitted by its width, black above and below, and may be scaled.
    QImage wide(100, 50, QImage::Format_RGB32);
    wide.fill(Qt::red);
    pane->setWorkingPicture(wide);
    EXPECT_TRUE(pane->scaleSlider()->isVisibleTo(pane));
    ASSERT_TRUE(waitUntil([&] {
        const auto state = manager().keyState(idOf("A"), "App0");
        return state && state->picture.pixelColor(24, 24) == QColor(Qt::red);
    }));
    EXPECT_EQ(manager().keyState(idOf("A"), "App0")->picture.pixelColor(24, 2), QColor(Qt::black));
}

// The keyboard view's cut, through the window's editor: the key leaves its layer only when its
// paste went through elsewhere.
TEST_F(MainWindowTest, ACutKeyLeavesOnlyWhenItsPasteWentThrough)
{
    KCPluginManager catalogue(QStringList{});
    start();
    window->setPluginCatalogue(&catalogue);
    KCKeyboardView *view = window->keyboardView();
    const auto has = [&](const QString &layer, const QString &key) {
        return manager().keyState(idOf(layer), key).has_value();
    };
    select({"A"});
    view->selectButtonNamed("App0", false);
    view->cut();
    EXPECT_TRUE(has("A", "App0")) << "cut alone removes nothing";

    select({"B"});
    view->selectButtonNamed("App1", false);
    view->paste();
    EXPECT_TRUE(has("B", "App1"));
    EXPECT_FALSE(has("A", "App0"));
}

TEST_F(MainWindowTest, TheListKeepsItsWidthAndTheDividerIsRemembered)
{
    preferences.setValue(PreferenceKeys::MainSplitViewSize, 300.0);
    start();
    QSplitter *split = window->mainSplit();
    EXPECT_EQ(split->sizes().first(), 300);
    window->resize(window->width() + 200, window->height());
    ASSERT_TRUE(waitUntil([&] { return split->sizes().last() > 0 && split->width() > 1100; }));
    EXPECT_EQ(split->sizes().first(), 300);

    QWidget *handle = split->handle(1);
    const QPoint middle = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, middle);
    QTest::mouseMove(handle, middle + QPoint(40, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, middle + QPoint(40, 0));
    ASSERT_TRUE(waitUntil([&] { return preferences.realValue(PreferenceKeys::MainSplitViewSize) != 300.0; }));
    EXPECT_EQ(preferences.realValue(PreferenceKeys::MainSplitViewSize), split->sizes().first());
    EXPECT_GT(split->sizes().first(), 300);

    // The keyboard above the editor pages keeps the keyboard picture's proportions.
    QWidget *keyboard = window->editorArea()->keyboardView();
    EXPECT_NEAR(keyboard->height(), keyboard->width() * 376.0 / 1312.0 + 10, 2);
}

TEST_F(MainWindowTest, APluginsToggleAnnouncementShowsInTheList)
{
    start();
    QDBusMessage announcement = QDBusMessage::createSignal("/", "com.kettlewood.Brevona.Notifications",
                                                           "LUMIVOX_BREVONA_TOGGLE_LAYER_ACTION");
    announcement << idOf("B");
    ASSERT_TRUE(QDBusConnection::sessionBus().send(announcement));
    EXPECT_TRUE(waitUntil([&] {
        return storeTree() == "A G[-B C]" && rowOf("B").data(Qt::CheckStateRole).toInt() == Qt::Unchecked;
    })) << storeTree().toStdString();
}

TEST_F(MainWindowTest, RestoreReplacesTheListAndEditsGoOnOnTheNewStore)
{
    start();
    ASSERT_TRUE(press("Back Up Layers"));
    QTest::keySequence(window.get(), QKeySequence("Ctrl+N"));
    ASSERT_EQ(storeTree(), "_ A G[B C]");
    answerNextBox("Yes");
    ASSERT_TRUE(press("Restore Layers from Backup…"));
    ASSERT_TRUE(waitUntil([&] { return storeTree() == "A G[B C]"; })) << storeTree().toStdString();
    EXPECT_EQ(window->layerModel()->rowCount(), 2 + 4);
    select({"A"});
    activate();
    QTest::keySequence(window.get(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(storeTree(), "A _ G[B C]");
    EXPECT_FALSE(accessible("Undo New Layer") == nullptr);
}

// Input the window cannot use: it starts all the same and says why on its status line.
struct BadInputRow
{
    const char *name;
    std::function<void(MainWindowTest &)> arrange;
    QStringList files;
    QString status;
    QString driver;
};

// clang-format off
const BadInputRow kBadInput[] = {
    {.name = "unreadable store",
     .arrange = [](MainWindowTest &t) { t.writeRoot("not a property list"); },
     .files = {},
     .status = "is not readable",
     .driver = "the keyboard will follow when the driver runs"},
    {.name = "no session bus",
     .arrange = [](MainWindowTest &t) { t.setBus("unix:path=/nonexistent/bus"); },
     .files = {},
     .status = "",
     .driver = "No session bus: the keyboard will follow when the driver runs"},
    {.name = "text file on the command line", .arrange = {}, .files = {"notes.txt"}, .status = "notes.txt is not a picture", .driver = "No driver"},
    {.name = "missing file on the command line", .arrange = {}, .files = {"/nonexistent/picture.png"}, .status = "picture.png is not a picture", .driver = "No driver"},
};
// clang-format on

class BadInputTest : public MainWindowTest, public testing::WithParamInterface<BadInputRow>
{
};

TEST_P(BadInputTest, StartsAndSaysWhy)
{
    const BadInputRow &row = GetParam();
    if (row.arrange)
        row.arrange(*this);
    QFile notes(home.path() + "/notes.txt");
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("text");
    notes.close();
    start();
    QStringList files;
    for (const QString &file : row.files)
        files << (file.startsWith('/') ? file : home.path() + "/" + file);
    window->openFiles(files);
    EXPECT_TRUE(window->statusBar()->currentMessage().contains(row.status))
        << window->statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(window->driverState().contains(row.driver)) << window->driverState().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputTest, testing::ValuesIn(kBadInput), RowName());

TEST_F(MainWindowTest, TheStatusLineFollowsTheDriver)
{
    start();
    EXPECT_TRUE(window->driverState().contains("the keyboard will follow when the driver runs"));
    FakeDriver driver("window-test-driver");
    ASSERT_TRUE(driver.own());
    ASSERT_TRUE(waitUntil([&] { return window->driverState().startsWith("Driver running"); }));
    ASSERT_TRUE(driver.release());
    EXPECT_TRUE(waitUntil([&] { return window->driverState().startsWith("No driver"); }));
}

// The toolbar's Paint on the selected layer with the preferred editor, and the editor's save
// back in the layer's keys.
TEST_F(MainWindowTest, APaintedLayerComesBackFromTheEditor)
{
    catalog.add({"paint", "Paint", "/apps/paint.desktop", {}});
    preferences.setValue(PreferenceKeys::GeneralPaintLayersUsing, "paint");
    ApplicationCatalog::setInstance(&catalog);
    start();
    select({"G"});
    ASSERT_TRUE(accessible("Paint"));
    EXPECT_TRUE(accessible("Paint")->state().disabled) << "a group is painted";
    select({"A"});
    ASSERT_TRUE(press("Paint"));
    ASSERT_EQ(catalog.opened().size(), 1u);
    const QString file = catalog.opened().front().second.value(0);
    QImage picture(file);
    ASSERT_EQ(picture.size(), QSize(1312, 376));
    QPainter(&picture).fillRect(QRect(*LayerPicture::location("Space") + QPoint(8, 8), QSize(8, 8)),
                                Qt::yellow);
    ASSERT_TRUE(picture.save(file, "tiff"));
    EXPECT_TRUE(waitUntil([&] { return manager().keyState(idOf("A"), "Space").has_value(); }));
    EXPECT_TRUE(window->statusBar()->currentMessage().contains("painted keys"))
        << window->statusBar()->currentMessage().toStdString();
}

} // namespace
} // namespace brevona::test
