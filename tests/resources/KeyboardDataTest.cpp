// The read-only keyboard API over the generated data set, and its refusal of damaged data.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "KeyboardData.h"
#include "PropertyList.h"
#include "ResourceFiles.h"
#include "TestPrinters.h"

using brevona::KeyboardData;
using brevona::PropertyList;
using brevona::test::ResourceFiles;

namespace {

const char *const kData = "LumivoxBrevonaData.plist";
const char *const kGeometry = "LumivoxBrevonaType.plist";
const char *const kUsages = "LumivoxUsageTable.plist";
const char *const kCodes = "VirtualKeyCodes.plist";

const KeyboardData &generated()
{
    static const KeyboardData data = KeyboardData::load(ResourceFiles::folder()).value_or(KeyboardData());
    return data;
}

TEST(KeyboardData, FindsKeysByNameAndDisplay)
{
    ASSERT_FALSE(generated().isEmpty());
    EXPECT_EQ(generated().keys().size(), 114u);
    const QVariantMap info = ResourceFiles::dictionary("LumivoxBrevonaData.plist");
    for (const QString &name : info.keys()) {
        const KeyboardData::Key *key = generated().key(name);
        ASSERT_NE(key, nullptr) << name.toStdString();
        const QVariantMap entry = info.value(name).toMap();
        EXPECT_EQ(key->display, entry.value("OLEDIndex").toInt());
        EXPECT_EQ(key->keyIndex, entry.value("KeyIndex").toInt());
        EXPECT_EQ(key->keyCode, entry.value("Char").toInt());
        EXPECT_EQ(ResourceFiles::point(entry.value("Location")), key->location);
        EXPECT_EQ(generated().keyForDisplay(key->display), key);
    }
    EXPECT_EQ(generated().key("Nope"), nullptr);
    EXPECT_EQ(generated().keyForDisplay(0), nullptr);
    EXPECT_EQ(generated().keyForDisplay(115), nullptr);
    EXPECT_EQ(generated().keys().front().display, 1);
    EXPECT_EQ(generated().keys().back().display, 114);
}

TEST(KeyboardData, KnowsTheTurnedDisplaysAndLargerKeys)
{
    int turned = 0;
    for (const KeyboardData::Key &key : generated().keys())
        turned += key.isTurned();
    EXPECT_EQ(turned, 2);
    EXPECT_TRUE(generated().keyForDisplay(3)->isTurned());
    EXPECT_TRUE(generated().keyForDisplay(14)->isTurned());
    const KeyboardData::Key *space = generated().key("Space");
    ASSERT_TRUE(space && space->area);
    EXPECT_TRUE(space->outline().contains(space->cell()));
    EXPECT_GT(space->outline().width(), 4 * KeyboardData::kCellSize);
    EXPECT_EQ(generated().key("G")->outline(), generated().key("G")->cell());
}

TEST(KeyboardData, TranslatesUsagesBothWays)
{
    EXPECT_EQ(generated().nameForUsage(7, 0x04), "A");
    EXPECT_EQ(generated().nameForUsage(7, 0xE1), "ShiftLeft");
    EXPECT_EQ(generated().nameForUsage(12, 0x184), "Word*");
    EXPECT_EQ(generated().nameForUsage(12, 0x04), "");
    EXPECT_EQ(generated().nameForUsage(9, 0x04), "");
    const auto usages = generated().usagesForKey("App1");
    ASSERT_EQ(usages.size(), 1u);
    EXPECT_EQ(usages[0], std::make_pair(7, 0x7F));
    EXPECT_EQ(generated().usagesForKey("G"), (std::vector<std::pair<int, int>>{{7, 0x0A}}));
    EXPECT_EQ(generated().virtualKeyCodes().value("A"), 38);
    EXPECT_FALSE(generated().virtualKeyCodes().contains("ShiftLeft"));
}

struct RectCase
{
    const char *name;
    const char *text;
    std::optional<QRect> rect;
};

class RectText : public testing::TestWithParam<RectCase>
{
};

TEST_P(RectText, Parses)
{
    EXPECT_EQ(KeyboardData::parseRect(QLatin1String(GetParam().text)), GetParam().rect) << GetParam().text;
}

const RectCase kRects[] = {
    {"Tight", "{{1,2},{3,4}}", QRect(1, 2, 3, 4)},
    {"Padded", " {{-5, 2.0}, {30, 40}} ", QRect(-5, 2, 30, 40)},
    {"NegativeSize", "{{1, 2}, {-3, 4}}", std::nullopt},
    {"Fraction", "{{1, 2.5}, {3, 4}}", std::nullopt},
    {"Point", "{1, 2}", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Notation, RectText, testing::ValuesIn(kRects), brevona::test::RowName());

TEST(KeyboardData, PointText)
{
    EXPECT_EQ(KeyboardData::parsePoint("{12, 99}"), QPoint(12, 99));
    EXPECT_EQ(KeyboardData::parsePoint("{12 99}"), std::nullopt);
    EXPECT_EQ(KeyboardData::parsePoint("{12, 99, 3}"), std::nullopt);
}

// A copy of the generated folder with one table damaged: the data set is refused as a whole.
struct Damage
{
    const char *name;
    const char *file;
    // A changed field of one key's entry (`value`, or the value another key has there); or the
    // whole file replaced by `bytes`; or, with neither, the file missing.
    const char *key = nullptr;
    const char *field = nullptr;
    QVariant value = {};
    const char *sameAs = nullptr;
    QByteArray bytes = {};
};

class DamagedData : public testing::TestWithParam<Damage>
{
};

TEST_P(DamagedData, IsRefused)
{
    const Damage &damage = GetParam();
    QTemporaryDir dir;
    for (const char *name : {kData, kGeometry, kUsages, kCodes})
        ASSERT_TRUE(QFile::copy(ResourceFiles::path(name), dir.filePath(name)));
    ASSERT_TRUE(KeyboardData::load(dir.path()));

    const QString path = dir.filePath(damage.file);
    QByteArray bytes = damage.bytes;
    if (damage.key) {
        QVariantMap table = ResourceFiles::dictionary(damage.file);
        QVariantMap entry = table.value(damage.key).toMap();
        entry.insert(damage.field,
                     damage.sameAs ? table.value(damage.sameAs).toMap().value(damage.field) : damage.value);
        table.insert(damage.key, entry);
        bytes = *PropertyList::toData(table);
    }
    QFile::remove(path);
    if (!bytes.isNull()) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    EXPECT_FALSE(KeyboardData::load(dir.path()));
}

const char *const kUnknownKeyCode = "<plist><dict><key>Nope</key><integer>40</integer></dict></plist>";

const Damage kDamages[] = {
    {.name = "MissingTable", .file = kUsages},
    {.name = "BadLocation", .file = kData, .key = "G", .field = "Location", .value = "{ten, 3}"},
    {.name = "CellOutsideThePicture", .file = kData, .key = "G", .field = "Location", .value = "{1300, 10}"},
    {.name = "DisplayGivenTwice", .file = kData, .key = "G", .field = "OLEDIndex", .sameAs = "H"},
    {.name = "KeyCodeAboveEightBits", .file = kData, .key = "G", .field = "Char", .value = 300},
    {.name = "KeyCodeForAnUnknownKey", .file = kCodes, .bytes = kUnknownKeyCode},
};

INSTANTIATE_TEST_SUITE_P(Tables, DamagedData, testing::ValuesIn(kDamages), brevona::test::RowName());

} // namespace
