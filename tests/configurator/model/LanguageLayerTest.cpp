// Language and control-button backgrounds: pictures drawn from the layout's characters with the
// user's attributes, their private files (also broken ones), fonts and label sizes.
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "DrawingAttributes.h"
#include "FakeKeyTranslator.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KeyLabelPainter.h"
#include "KeyTranslator.h"
#include "KeyboardData.h"
#include "LayerPicture.h"
#include "LogCapture.h"
#include "TestPrinters.h"
#include "PropertyList.h"
#include "TestHome.h"
#include "Wait.h"

namespace brevona::test {
namespace {

// The bounding box of the pixels that differ from the corner pixel.
QRect ink(const QImage &picture)
{
    QRect box;
    const QRgb background = picture.pixel(0, 0);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

class LanguageLayer : public ::testing::Test
{
protected:
    LanguageLayer()
    {
        m_translator->add("de", "Q", 0, "q");
        m_translator->add("de", "Q", KeyTranslator::kShift, "Q");
        m_translator->add("de", "Q", KeyTranslator::kOption, "@");
        m_translator->add("de", "H", KeyTranslator::kShift, "H");
        m_translator->add("de", "Escape", 0, "\x1b");
    }
    std::shared_ptr<KCLanguageLayer> layer() { return KCLanguageLayer::newLayerWithID("de", m_translator); }
    QString attributesFile(const KCLanguageLayer &language, const QString &modifierKey)
    {
        return QDir(language.workingAttributesDir())
            .filePath(KCLanguageLayer::attributesFileName(modifierKey));
    }

    TestHome m_home;
    std::shared_ptr<FakeKeyTranslator> m_translator = std::make_shared<FakeKeyTranslator>();
};

TEST_F(LanguageLayer, KeysShowTheLayoutsCharactersPerModifierKey)
{
    const auto language = layer();
    const QImage plain = language->imageForButtonAndModifierKey("Q", "");
    const QImage shifted = language->imageForButtonAndModifierKey("Q", "Shift");
    const QImage untranslated = language->imageForButtonAndModifierKey("W", "Shift");

    EXPECT_NE(plain, shifted);
    EXPECT_FALSE(ink(plain).isEmpty());
    EXPECT_TRUE(ink(untranslated).isEmpty());
    EXPECT_EQ(QColor(untranslated.pixel(0, 0)), QColor(Qt::black));
    EXPECT_EQ(language->stringForButton("Escape", ""), QString());
    EXPECT_EQ(language->layerImageForModifierKey("Shift").copy(KeyboardData::shared().key("Q")->cell()),
              shifted);
    EXPECT_EQ(language->getQWERTYString(), QStringLiteral("Qq, ABC, 1234567890."));
}

TEST_F(LanguageLayer, ACapitalIsCentredByItsCapHeight)
{
    const QRect box = ink(layer()->imageForButtonAndModifierKey("H", "Shift"));
    ASSERT_FALSE(box.isEmpty());
    EXPECT_NEAR((box.left() + box.right() + 1) / 2.0, 24.0, 1.5);
    EXPECT_NEAR((box.top() + box.bottom() + 1) / 2.0, 24.0, 1.5);
}

TEST_F(LanguageLayer, AttributeChangesRedrawAndEachModifierKeysFileIsSaved)
{
    const auto language = layer();
    const QImage before = language->imageForButtonAndModifierKey("Q", "Shift");
    language->setCurrentModifierKeys("Shift");
    language->updateAttributes(QVariantMap{{"background", QColor(Qt::blue)}, {"size", 20.0}}, "Q");
    language->setCurrentModifierKeys("Opt");
    language->updateAttributes(QVariantMap{{"bold", true}}, "Q");

    const QImage after = language->imageForButtonAndModifierKey("Q", "Shift");
    EXPECT_NE(after, before);
    EXPECT_EQ(QColor(after.pixel(0, 0)), QColor(Qt::blue));

    settle(std::chrono::milliseconds(0));
    EXPECT_TRUE(QFile::exists(attributesFile(*language, "Shift")));
    EXPECT_TRUE(QFile::exists(attributesFile(*language, "Opt")));
    const auto reread = layer();
    reread->setCurrentModifierKeys("Shift");
    EXPECT_EQ(DrawingAttributes::color(reread->attributesForButton("Q").value("background")),
              QColor(Qt::blue));
    EXPECT_EQ(reread->attributesForButton("Q").value("size").toDouble(), 20.0);
    reread->setCurrentModifierKeys("Opt");
    EXPECT_TRUE(reread->attributesForButton("Q").value("bold").toBool());
}

TEST_F(LanguageLayer, AnEditWaitingForTheEventLoopIsWrittenWhenTheLayerGoes)
{
    QString path;
    {
        const auto language = layer();
        path = attributesFile(*language, "");
        language->updateAttributes(QVariantMap{{"italic", true}}, "Q");
    }
    EXPECT_TRUE(QFile::exists(path));
}

struct AttributeFileRow
{
    const char *name = "";
    QByteArray content = {};
    int logLines = 0;
    QVariantMap expected = {}; // effective attributes of key Q that differ from the defaults
};

class AttributeFiles : public LanguageLayer, public ::testing::WithParamInterface<AttributeFileRow>
{
};

TEST_P(AttributeFiles, WrongEntriesAreLoggedAndTheirDefaultsApply)
{
    const AttributeFileRow &row = GetParam();
    {
        const auto language = layer();
        QFile file(attributesFile(*language, ""));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.content);
    }
    LogCapture log;
    const auto language = layer();
    EXPECT_EQ(log.count("Attribute file"), row.logLines) << qPrintable(log.messages().join('\n'));
    const QVariantMap expected =
        DrawingAttributes::overlaid(DrawingAttributes::languageDefaults(), row.expected);
    EXPECT_EQ(language->attributesForButton("Q"), expected);
    EXPECT_FALSE(ink(language->imageForButtonAndModifierKey("Q", "")).isEmpty());
}

QByteArray plist(const QVariantMap &map)
{
    return PropertyList::toData(map).value_or(QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AttributeFiles,
    ::testing::Values(
        AttributeFileRow{.name = "WrongTypes",
                         .content = plist({{"Q", QVariantMap{{"size", "big"},
                                                             {"color", 5},
                                                             {"background", "#ff00ff00"},
                                                             {"bold", "yes"},
                                                             {"font", "DejaVu Serif"}}}}),
                         .logLines = 3,
                         .expected = {{"background", QColor(0, 255, 0)}, {"font", "DejaVu Serif"}}},
        AttributeFileRow{.name = "NegativeSizeAndNoColour",
                         .content = plist({{"Q", QVariantMap{{"size", -4}, {"color", "not a colour"}}}}),
                         .logLines = 2},
        AttributeFileRow{.name = "EntryNotADictionary", .content = plist({{"Q", 7}}), .logLines = 1},
        AttributeFileRow{.name = "NotAPropertyList", .content = "size = 12", .logLines = 1}),
    brevona::test::RowName());

struct FontRow
{
    const char *name = "";
    QString requested = {};
    bool installed = false; // the request is drawn with itself
};

class FontChain : public ::testing::TestWithParam<FontRow>
{
};

TEST_P(FontChain, MissingFamiliesFallBackToTheSystemSans)
{
    const QString sans = KeyLabelPainter::systemSansFamily();
    ASSERT_TRUE(KeyLabelPainter::hasFamily(sans));
    const QString used = KeyLabelPainter::availableFamily(GetParam().requested);
    EXPECT_EQ(used, GetParam().installed ? GetParam().requested : sans);
    EXPECT_EQ(KeyLabelPainter::font(GetParam().requested, 20).family(), used);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FontChain,
    ::testing::Values(FontRow{.name = "Unknown", .requested = "No Such Family 42"},
                      FontRow{.name = "Installed", .requested = "DejaVu Serif", .installed = true}),
    brevona::test::RowName());

struct LabelSizeRow
{
    const char *name = "";
    QString label = {};
    double size = 0;
};

class ControlLabelSize : public ::testing::TestWithParam<LabelSizeRow>
{
};

TEST_P(ControlLabelSize, ShrinksWithTheLabelButStaysLegible)
{
    EXPECT_EQ(KCKeyboardDefaultLayer::defaultAttributesForLabel(GetParam().label).value("size").toDouble(),
              GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ControlLabelSize,
    ::testing::Values(
        LabelSizeRow{.name = "OneCharacter", .label = QStringLiteral("\u21e7"), .size = 26},
        LabelSizeRow{.name = "FiveCharacters", .label = "Enter", .size = 10},
        LabelSizeRow{.name = "Twelve", .label = "Print Screen", .size = KeyLabelPainter::MinimumLegibleSize}),
    brevona::test::RowName());

TEST(ControlButtons, LabelsAndAttributesSurviveAndBrokenEntriesAreIgnored)
{
    TestHome home;
    {
        const auto controls = KCKeyboardDefaultLayer::create();
        ASSERT_TRUE(controls->buttonNames().contains("Esc"));
        controls->setLabel("Quit", "Esc");
        controls->updateAttributes(QVariantMap{{"color", QColor(Qt::yellow)}}, "Esc");
        settle(std::chrono::milliseconds(0));
        const QString labels = QDir(controls->workingAttributesDir()).filePath("Labels.plist");
        auto stored = PropertyList::readDictionary(labels).value_or(QVariantMap());
        stored.insert("Tab", 12);
        ASSERT_TRUE(PropertyList::writeFile(labels, stored));
    }
    LogCapture log;
    const auto controls = KCKeyboardDefaultLayer::create();
    EXPECT_EQ(log.count("Attribute file"), 1) << qPrintable(log.messages().join('\n'));
    EXPECT_EQ(controls->labelForButton("Esc"), "Quit");
    EXPECT_EQ(controls->labelForButton("Tab"), controls->defaultLabelForButton("Tab"));
    EXPECT_EQ(DrawingAttributes::color(controls->attributesForButton("Esc").value("color")),
              QColor(Qt::yellow));
    EXPECT_EQ(controls->attributesForButton("Esc").value("size").toDouble(), 14.0);
    const QImage picture = controls->imageForButton("Esc");
    EXPECT_EQ(controls->layerImage().copy(KeyboardData::shared().key("Esc")->cell()), picture);
    EXPECT_FALSE(ink(picture).isEmpty());
}

} // namespace
} // namespace brevona::test
