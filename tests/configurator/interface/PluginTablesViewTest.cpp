// The plugin tables as widgets, offscreen, over named plugins made around the probe's code and a
// real store: a double-click or Return on a plugin puts it on the keyboard view's selected keys
// (read back from the layer's file), categories open as the preferences say and are remembered,
// and only plugin cells drag.
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include "KCKeyboardView.h"
#include "PluginTableModel.h"
#include "PluginTableView.h"
#include "PluginTablesFixture.h"
#include "PluginTablesView.h"
#include "PreferenceKeys.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

class PluginTablesViewTest : public PluginTablesFixture
{
protected:
    void SetUp() override
    {
        PluginTablesFixture::SetUp();
        tables.setKeyboardPreview(&keyboard);
        panel.setTables(&tables);
    }

    void show()
    {
        tables.pluginsInfoUpdated();
        panel.resize(320, 480);
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    }

    QString stored(const QString &key, const QString &side) const { return link.signature("L", key, side); }

    KCKeyboardView keyboard{KeyboardGeometry::loadInstalled(QSize(1312, 376)), nullptr};
    PluginTablesView panel;
};

struct PlaceRow
{
    const char *name;
    bool returnKey; // else a double-click
    QString plugin;
    QStringList selected;
    QString side;
};

// clang-format off
const PlaceRow kPlaces[] = {
    {.name = "double_click_a_display_plugin", .returnKey = false, .plugin = "t.movie", .selected = {"App0", "App1"}, .side = "DisplayPlugin"},
    {.name = "return_on_an_action_plugin", .returnKey = true, .plugin = "t.run", .selected = {"App1"}, .side = "ActionPlugin"},
};
// clang-format on

class Places : public PluginTablesViewTest, public testing::WithParamInterface<PlaceRow>
{
};

TEST_P(Places, PutThePluginOnTheSelectedKeys)
{
    const PlaceRow &row = GetParam();
    show();
    for (const QString &key : row.selected)
        keyboard.selectButtonNamed(key, true);
    PluginTableView *table = row.side == "DisplayPlugin" ? panel.displayTable() : panel.actionTable();
    const QModelIndex cell = table->indexOfPlugin(row.plugin);
    ASSERT_TRUE(cell.isValid());
    table->scrollTo(cell);
    if (row.returnKey) {
        table->setFocus();
        table->setCurrentIndex(cell);
        QTest::keyClick(table, Qt::Key_Return);
    } else {
        // As the window system sends it: a click, then the second press as a double-click.
        const QPoint centre = table->visualRect(cell).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, centre);
    }
    ASSERT_TRUE(waitUntil([&] { return !link.sent.empty(); }));
    for (const QString &key : {QString("App0"), QString("App1")})
        EXPECT_EQ(stored(key, row.side), row.selected.contains(key) ? row.plugin : QString())
            << key.toStdString();
    EXPECT_EQ(link.sent.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, Places, testing::ValuesIn(kPlaces), RowName());

TEST_F(PluginTablesViewTest, CategoriesOpenAsRememberedAndOnlyPluginCellsDrag)
{
    preferences.setValue(PreferenceKeys::DisplayPluginsTableExpandedItems, QStringList{"general"});
    show();
    PluginTableView *table = panel.displayTable();
    PluginTableModel *model = table->tableModel();
    ASSERT_EQ(model->rowCount(), 3); // General (Picture), Internet, Multimedia
    const QModelIndex general = model->index(0, 0);
    const QModelIndex multimedia = model->index(2, 0);
    EXPECT_TRUE(table->isExpanded(general));
    EXPECT_FALSE(table->isExpanded(multimedia));
    EXPECT_TRUE(panel.actionTable()->isExpanded(panel.actionTable()->tableModel()->index(0, 0)));

    table->expand(multimedia);
    table->collapse(general);
    EXPECT_EQ(preferences.stringListValue(PreferenceKeys::DisplayPluginsTableExpandedItems),
              QStringList{"multimedia"});

    const QModelIndex picture = model->index(0, 0, general);
    const QModelIndex empty = model->index(0, 1, general);
    EXPECT_EQ(model->data(picture, Qt::AccessibleTextRole), "Picture");
    EXPECT_TRUE(model->flags(picture) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model->flags(empty) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model->flags(general) & Qt::ItemIsDragEnabled);
    EXPECT_EQ(std::unique_ptr<QMimeData>(model->mimeData({general, empty})), nullptr);
    EXPECT_NE(std::unique_ptr<QMimeData>(model->mimeData({picture})), nullptr);
    EXPECT_FALSE(table->accessibleName().isEmpty());
}

} // namespace
} // namespace brevona::test
