// The read-only keyboard API over the generated data set, and its refusal of damaged data.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "KeyboardData.h"
#include "PropertyList.h"
#include "ResourceFiles.h"

using brevona::KeyboardData;
using brevona::PropertyList;
using brevona::test::ResourceFiles;

namespace {

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
    EXPECT_EQ(generated().keyForDisplay(89)->name, "App0");
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
    EXPECT_EQ(generated().nameForUsage(7, 0x39), "CapsLock");
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

struct TextCase
{
    const char *text;
    std::optional<QRect> rect;
};

class RectText : public testing::TestWithParam<TextCase>
{
};

TEST_P(RectText, Parses)
{
    EXPECT_EQ(KeyboardData::parseRect(QLatin1String(GetParam().text)), GetParam().rect) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Notation, RectText,
                         testing::Values(TextCase{"{{1, 2}, {3, 4}}", QRect(1, 2, 3, 4)},
                                         TextCase{"{{1,2},{3,4}}", QRect(1, 2, 3, 4)},
                                         TextCase{" {{-5, 2.0}, {30, 40}} ", QRect(-5, 2, 30, 40)},
                                         TextCase{"{{1, 2}, {-3, 4}}", std::nullopt},
                                         TextCase{"{{1, 2.5}, {3, 4}}", std::nullopt},
                                         TextCase{"{1, 2}", std::nullopt},
                                         TextCase{"{{1, 2}, {3}}", std::nullopt},
                                         TextCase{"", std::nullopt}));

TEST(KeyboardData, PointText)
{
    EXPECT_EQ(KeyboardData::parsePoint("{12, 99}"), QPoint(12, 99));
    EXPECT_EQ(KeyboardData::parsePoint("{12 99}"), std::nullopt);
    EXPECT_EQ(KeyboardData::parsePoint("{12, 99, 3}"), std::nullopt);
}

// A copy of the generated folder with one table replaced.
class DamagedData : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char *name : {"LumivoxBrevonaData.plist", "LumivoxBrevonaType.plist",
                                 "LumivoxUsageTable.plist", "VirtualKeyCodes.plist"})
            ASSERT_TRUE(QFile::copy(ResourceFiles::path(name), m_dir.filePath(name)));
    }
    void changeKey(const QString &key, const QString &field, const QVariant &value)
    {
        QVariantMap info = ResourceFiles::dictionary("LumivoxBrevonaData.plist");
        QVariantMap entry = info.value(key).toMap();
        entry.insert(field, value);
        info.insert(key, entry);
        ASSERT_TRUE(PropertyList::writeFile(m_dir.filePath("LumivoxBrevonaData.plist"), info));
    }
    QTemporaryDir m_dir;
};

TEST_F(DamagedData, IntactCopyLoads)
{
    EXPECT_TRUE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, MissingTableIsRefused)
{
    QFile::remove(m_dir.filePath("LumivoxUsageTable.plist"));
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, NotAPropertyListIsRefused)
{
    QFile file(m_dir.filePath("LumivoxBrevonaType.plist"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<plist><dict><key>ButtonsSize");
    file.close();
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, BadLocationIsRefused)
{
    changeKey("G", "Location", "{ten, 3}");
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, CellOutsideThePictureIsRefused)
{
    changeKey("G", "Location", "{1300, 10}");
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, DisplayGivenTwiceIsRefused)
{
    changeKey("G", "OLEDIndex", qint64(generated().key("H")->display));
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, KeyCodeAboveEightBitsIsRefused)
{
    changeKey("G", "Char", qint64(300));
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

TEST_F(DamagedData, KeyCodeForAnUnknownKeyIsRefused)
{
    ASSERT_TRUE(
        PropertyList::writeFile(m_dir.filePath("VirtualKeyCodes.plist"), QVariantMap{{"Nope", qint64(40)}}));
    EXPECT_FALSE(KeyboardData::load(m_dir.path()));
}

} // namespace
