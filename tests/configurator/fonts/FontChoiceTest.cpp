// Which member of a family draws the keys, which check boxes are offered, how typed sizes are held,
// how the font menu sets apart the families a layout cannot use, and what the label chooser offers.
#include <gtest/gtest.h>

#include "FontCatalogue.h"
#include "KCControlButtonsManager.h"
#include "KCFontColorManager.h"
#include "KCKeyboardDefaultLayer.h"
#include "TestHome.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

using Member = FontCatalogue::Member;

// Sans has every member, Serif no italic, Heavy only a black member, Light no plain member, Wide
// lists its condensed members first.
FontCatalogue catalogue()
{
    return FontCatalogue(
        {{"Sans",
          {Member{"Regular", 400, false}, Member{"Bold", 700, false}, Member{"Italic", 400, true},
           Member{"Bold Italic", 700, true}}},
         {"Serif", {Member{"Regular", 400, false}, Member{"Bold", 700, false}}},
         {"Heavy", {Member{"Black", 900, false}}},
         {"Light", {Member{"Light", 300, false}, Member{"Light Italic", 300, true}}},
         {"Wide",
          {Member{"Condensed Bold", 700, false, false}, Member{"Condensed", 400, false, false},
           Member{"Book", 400, false}, Member{"Bold", 700, false}}}});
}

TEST(FontCatalogue, OffersOnlyFamiliesWithAPlainMember)
{
    EXPECT_EQ(catalogue().plainFamilies(), (QStringList{"Sans", "Serif", "Wide"}));
}

struct ResolveRow
{
    const char *name = "";
    QString family;
    bool bold = false;
    bool italic = false;
    std::optional<QString> style;
};

class Resolve : public testing::TestWithParam<ResolveRow>
{
};

TEST_P(Resolve, FallsBackToBoldThenPlainThenTheFirstMember)
{
    const ResolveRow &row = GetParam();
    const auto member = catalogue().resolve(row.family, row.bold, row.italic);
    EXPECT_EQ(member ? std::optional<QString>(member->style) : std::nullopt, row.style);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Resolve,
    testing::Values(
        ResolveRow{.name = "Exact", .family = "Sans", .bold = true, .italic = true, .style = "Bold Italic"},
        ResolveRow{.name = "BoldKeptItalicDropped",
                   .family = "Serif",
                   .bold = true,
                   .italic = true,
                   .style = "Bold"},
        ResolveRow{.name = "ItalicDropped", .family = "Serif", .italic = true, .style = "Regular"},
        ResolveRow{.name = "OnlyMember", .family = "Heavy", .style = "Black"},
        ResolveRow{.name = "NoPlainMember", .family = "Light", .bold = true, .style = "Light"},
        ResolveRow{.name = "RegularWidthBeforeCondensed", .family = "Wide", .style = "Book"},
        ResolveRow{.name = "RegularWidthBold", .family = "Wide", .bold = true, .style = "Bold"},
        ResolveRow{.name = "UnknownFamily", .family = "Nope", .style = std::nullopt}),
    RowName());

struct BoxesRow
{
    const char *name = "";
    QString family;
    bool bold = false;
    bool italic = false;
    KCFontColorManager::Boxes boxes;
};

class Boxes : public testing::TestWithParam<BoxesRow>
{
};

TEST_P(Boxes, OfferOnlyWhatTheFamilyHas)
{
    const BoxesRow &row = GetParam();
    EXPECT_EQ(KCFontColorManager::validateBoxes(catalogue(), row.family, row.bold, row.italic), row.boxes);
}

INSTANTIATE_TEST_SUITE_P(Rows, Boxes,
                         testing::Values(BoxesRow{.name = "AllKept",
                                                  .family = "Sans",
                                                  .bold = true,
                                                  .italic = true,
                                                  .boxes = {true, true, true, true}},
                                         BoxesRow{.name = "NoItalicClearsIt",
                                                  .family = "Serif",
                                                  .italic = true,
                                                  .boxes = {true, false, false, false}},
                                         BoxesRow{.name = "BoldOnlySwitchesBoldOn",
                                                  .family = "Heavy",
                                                  .boxes = {true, false, true, false}},
                                         BoxesRow{.name = "NoBoldClearsIt",
                                                  .family = "Light",
                                                  .bold = true,
                                                  .boxes = {false, true, false, false}}),
                         RowName());

struct SizeRow
{
    const char *name = "";
    std::optional<double> typed;
    double size = 0;
};

class TypedSize : public testing::TestWithParam<SizeRow>
{
};

TEST_P(TypedSize, IsHeldWithinTheLimits)
{
    EXPECT_EQ(KCFontColorManager::fittedSize(GetParam().typed), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Rows, TypedSize,
                         testing::Values(SizeRow{.name = "Emptied", .typed = std::nullopt, .size = 20},
                                         SizeRow{.name = "AboveMaximum", .typed = 100, .size = 48},
                                         SizeRow{.name = "BelowMinimum", .typed = 2, .size = 8},
                                         SizeRow{.name = "Within", .typed = 30.5, .size = 30.5}),
                         RowName());

TEST(FontMenu, ListsFamiliesTheLayoutCannotUseLastAndMarked)
{
    using Item = KCFontColorManager::MenuItem;
    const QStringList families{"A", "B", "C"};
    EXPECT_EQ(KCFontColorManager::fontMenu(families, [](const QString &f) { return f != "B"; }),
              (QList<Item>{{"A", "A", true},
                           {"C", "C", true},
                           {"", "", false},
                           {"Uncompatible Fonts:", "", false},
                           {"\u2718 B", "B", true}}));
    EXPECT_EQ(KCFontColorManager::fontMenu(families, {}).size(), 3);
}

TEST(LabelChooser, SharesOnlyEqualListsAndSaysWhyOtherwise)
{
    TestHome home;
    const auto controls = KCKeyboardDefaultLayer::create();
    const QStringList names = controls->buttonNames();
    QStringList same;
    QStringList different;
    for (const QString &a : names) {
        for (const QString &b : names) {
            if (a == b)
                continue;
            if (same.isEmpty() && controls->labelsForButton(a) == controls->labelsForButton(b))
                same = {a, b};
            if (different.isEmpty() && controls->labelsForButton(a) != controls->labelsForButton(b))
                different = {a, b};
        }
    }
    ASSERT_FALSE(same.isEmpty());
    ASSERT_FALSE(different.isEmpty());
    using Chooser = KCControlButtonsManager::Chooser;
    const auto labels = [&](const QString &key) { return controls->labelsForButton(key); };
    struct Row
    {
        QStringList keys;
        Chooser chooser;
    } rows[] = {
        {.keys = {}, .chooser = {.symbols = {}, .selected = {}, .message = "Nothing is selected"}},
        {.keys = {"Esc"},
         .chooser = {.symbols = labels("Esc"), .selected = labels("Esc").value(0), .message = {}}},
        {.keys = same,
         .chooser = {.symbols = labels(same.first()),
                     .selected = labels(same.first()).value(0),
                     .message = {}}},
        {.keys = different, .chooser = {.symbols = {}, .selected = {}, .message = "Multiple selection"}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(KCControlButtonsManager::chooserFor(*controls, row.keys), row.chooser)
            << row.keys.join(',').toStdString();
}

} // namespace
} // namespace brevona::test
