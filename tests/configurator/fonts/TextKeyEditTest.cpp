// Font, colour and label edits against a real layer manager: one edit and one command per pass,
// the command naming the layer of the current modifier keys and arriving after the picture on
// disk shows it (RecordingLink), and undo putting every file back.
#include <map>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QUndoStack>

#include <gtest/gtest.h>

#include "DrawingAttributes.h"
#include "KCControlButtonsManager.h"
#include "KCFontColorManager.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "LanguageStore.h"
#include "PropertyList.h"
#include "PythonPlist.h"
#include "RecordingLink.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;

class TextKeys : public LanguageStore
{
protected:
    // The store byte for byte; the layers' private files by what they say (a missing file and an
    // empty one both say nothing).
    std::map<QString, QString> files() const
    {
        std::map<QString, QString> found;
        for (QDirIterator it(home.dataHome(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            QFile file(path);
            if (path.startsWith(root) && file.open(QIODevice::ReadOnly)) {
                found.emplace(path,
                              QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex());
            } else if (path.endsWith(".plist")) {
                const QVariantMap said = PropertyList::readDictionary(path).value_or(QVariantMap());
                if (!said.isEmpty())
                    found.emplace(path, PythonPlist::canonical(said));
            }
        }
        return found;
    }

    // Undo sends the old pictures and leaves every file as before the edit.
    void expectUndoRestores(const std::map<QString, QString> &before)
    {
        link.sent.clear();
        EXPECT_EQ(manager->undo(), Outcome::Done);
        settle(std::chrono::milliseconds(0));
        EXPECT_EQ(link.names(), QStringList{"ButtonsChanged"});
        EXPECT_EQ(files(), before);
    }
};

struct FontRow
{
    const char *name = "";
    QString modifierKey;
    QString layerId;
};

class FontEdit : public TextKeys, public testing::WithParamInterface<FontRow>
{
};

TEST_P(FontEdit, ChangesInOnePassAreOneEditSentForTheCurrentModifierKeys)
{
    const FontRow &row = GetParam();
    const auto layer = manager->languageLayer(us);
    ASSERT_TRUE(layer);
    manager->setSelection({layer->UUID()});
    layer->setCurrentModifierKeys(row.modifierKey);
    KCFontColorManager fonts(*manager, FontCatalogue::installed());
    fonts.prepare();
    fonts.activate();
    fonts.keyboardViewSelectionDidChange({"Q"});
    const auto before = files();

    fonts.setTextColor(Qt::red);
    fonts.setFontSize(100);
    settle(std::chrono::milliseconds(0));

    ASSERT_EQ(link.names(), QStringList{"ButtonsChanged"});
    EXPECT_EQ(link.sent.front().info.value("LayerId").toString(), row.layerId.arg(us));
    EXPECT_EQ(link.sent.front().info.value("Buttons").toMap().keys(), QStringList{"Q"});
    EXPECT_EQ(manager->undoStack()->count(), 1);
    EXPECT_EQ(layer->overridesForButton("Q", row.modifierKey),
              (QVariantMap{{"color", QColor(Qt::red)}, {"size", KCFontColorManager::MaximumSize}}));
    expectUndoRestores(before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FontEdit,
    testing::Values(FontRow{.name = "NoModifier", .modifierKey = "", .layerId = "Lang%1_None"},
                    FontRow{.name = "Shift", .modifierKey = "Shift", .layerId = "Lang%1_Shift"}),
    RowName());

TEST_F(TextKeys, ALabelIsOneEditAndItsResetBringsBackTheSizeOfTheLabel)
{
    const auto controls = manager->keyboardDefaultLayer();
    const QStringList labels = controls->labelsForButton("Esc");
    ASSERT_GE(labels.size(), 2);
    manager->setSelection({controls->UUID()});
    KCControlButtonsManager buttons(*manager);
    buttons.activate();
    buttons.keyboardViewSelectionDidChange({"Esc"});
    const auto before = files();

    EXPECT_EQ(buttons.changeSymbol(labels.last()), Outcome::Done);
    ASSERT_EQ(link.names(), QStringList{"ButtonsChanged"});
    EXPECT_EQ(link.sent.front().info.value("LayerId"), "ControlButtons");
    EXPECT_EQ(controls->labelForButton("Esc"), labels.last());
    expectUndoRestores(before);

    const double labelSize = controls->attributesForButton("Esc").value("size").toDouble();
    buttons.setIconSize(40);
    buttons.setTextColor(Qt::yellow);
    settle(std::chrono::milliseconds(0));
    EXPECT_EQ(controls->overridesForButton("Esc"), (QVariantMap{{"color", QColor(Qt::yellow)}}));
    buttons.resetAttributes();
    settle(std::chrono::milliseconds(0));
    EXPECT_TRUE(controls->overridesForButton("Esc").isEmpty());
    EXPECT_EQ(buttons.iconSize(), labelSize);
}

TEST_F(TextKeys, RefusedEditsChangeNothing)
{
    const auto before = files();
    struct Row
    {
        const char *name;
        std::function<Outcome()> edit;
    } rows[] = {
        {"UnofferedLabel", [&] { return manager->setControlLabel({"Esc"}, "No such label"); }},
        {"NotAControlKey", [&] { return manager->setControlAttributes({"Q"}, QVariantMap(), "x"); }},
        {"UnknownLanguage",
         [&] { return manager->setLanguageAttributes(-5, "", {"Q"}, QVariantMap(), "x"); }},
        {"NoModifierKey",
         [&] { return manager->setLanguageAttributes(us, "Hyper", {"Q"}, QVariantMap(), "x"); }},
        {"NotALanguageKey",
         [&] { return manager->setLanguageAttributes(us, "", {"Esc"}, QVariantMap(), "x"); }},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.edit(), Outcome::Refused) << row.name;
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(manager->undoStack()->count(), 0);
    EXPECT_EQ(files(), before);
}

} // namespace
} // namespace brevona::test
