// The fonts and control-label pages as widgets, offscreen, over a real layer manager: what a
// gesture on a control stores for the selected key, and what the pages offer.
#include <functional>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "ColorWell.h"
#include "ControlButtonsPane.h"
#include "FontColorPane.h"
#include "KeyColorsRow.h"
#include "LanguageStore.h"
#include "KCControlButtonsManager.h"
#include "KCFontColorManager.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;

using TextKeyPanes = LanguageStore;

struct FontGestureRow
{
    const char *name = "";
    std::function<void(FontColorPane &)> gesture;
    QVariantMap stored; // what the key "Q" overrides afterwards
};

class FontGesture : public TextKeyPanes, public testing::WithParamInterface<FontGestureRow>
{
};

void typeSize(FontColorPane &pane, const QString &text)
{
    pane.sizeField()->setText(text);
    emit pane.sizeField()->editingFinished();
}

TEST_P(FontGesture, StoresWhatTheControlShows)
{
    const auto layer = manager->languageLayer(us);
    manager->setSelection({layer->UUID()});
    FontColorPane pane;
    pane.setLayerManager(manager.get());
    pane.setActive(true);
    pane.setSelectedKeys({"Q"});
    ASSERT_TRUE(pane.sizeField()->isEnabled());

    GetParam().gesture(pane);
    settle(std::chrono::milliseconds(0));

    EXPECT_EQ(layer->overridesForButton("Q", ""), GetParam().stored);
    EXPECT_EQ(pane.sizeField()->text().toDouble(), pane.manager()->fontSize());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FontGesture,
    testing::Values(
        FontGestureRow{"SizeAboveTheLimit", [](FontColorPane &p) { typeSize(p, "99"); }, {{"size", 48.0}}},
        FontGestureRow{"SizeCleared", [](FontColorPane &p) { typeSize(p, ""); }, {{"size", 20.0}}},
        FontGestureRow{"SizeNotANumber", [](FontColorPane &p) { typeSize(p, "big"); }, {}},
        FontGestureRow{"SizeUnchanged", [](FontColorPane &p) { typeSize(p, p.sizeField()->text()); }, {}},
        FontGestureRow{"TextColorFromTheDialog",
                       [](FontColorPane &p) {
                           QTest::mouseClick(p.colors()->textWell(), Qt::LeftButton);
                           ColorWell::dialog()->setCurrentColor(Qt::red);
                           ColorWell::dialog()->hide();
                       },
                       {{"color", QColor(Qt::red)}}}),
    RowName());

TEST_F(TextKeyPanes, ControlsWaitForAKeyAndTheLabelCellsStoreTheChosenLabel)
{
    const auto controls = manager->keyboardDefaultLayer();
    manager->setSelection({controls->UUID()});
    ControlButtonsPane pane;
    pane.setLayerManager(manager.get());
    pane.setActive(true);
    pane.setSelectedKeys({});
    EXPECT_FALSE(pane.sizeSlider()->isEnabled());
    EXPECT_EQ(pane.chooserMessage()->text(), KCControlButtonsManager::NothingSelected);
    EXPECT_TRUE(pane.symbolCells().isEmpty());

    pane.setSelectedKeys({"Esc", "Tab"});
    EXPECT_EQ(pane.chooserMessage()->text(), KCControlButtonsManager::MultipleSelection);

    const QStringList labels = controls->labelsForButton("Esc");
    pane.setSelectedKeys({"Esc"});
    ASSERT_EQ(pane.symbolCells().size(), labels.size());
    EXPECT_TRUE(pane.symbolCells().first()->isChecked());
    QTest::mouseClick(pane.symbolCells().last(), Qt::LeftButton);
    EXPECT_EQ(controls->labelForButton("Esc"), labels.last());
    EXPECT_TRUE(pane.symbolCells().last()->isChecked());
    EXPECT_EQ(link.names().last(), "ButtonsChanged");
}

} // namespace
} // namespace brevona::test
