// Cross-checks of the generated keyboard data set: the tables must describe one keyboard.

#include <set>

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QImageReader>

#include "PropertyList.h"
#include "PythonPlist.h"
#include "ResourceFiles.h"

using brevona::PropertyList;
using brevona::PythonPlist;
using brevona::test::ResourceFiles;

namespace {

constexpr int kPictureWidth = 1312;
constexpr int kPictureHeight = 376;
constexpr int kCell = 48;

QVariantMap buttonInfo()
{
    return ResourceFiles::dictionary(QStringLiteral("LumivoxBrevonaData.plist"));
}

QVariantMap geometry()
{
    return ResourceFiles::dictionary(QStringLiteral("LumivoxBrevonaType.plist"));
}

QVariantMap usageTable(const char *part)
{
    return ResourceFiles::dictionary(QStringLiteral("LumivoxUsageTable.plist"))
        .value(QLatin1String(part))
        .toMap();
}

// The action listener's translation of the consumer-page names into application keys.
const QMap<QString, QString> kApplicationKeys = {
    {"Word*", "App0"},  {"Excel*", "App1"}, {"Mail*", "App2"}, {"Calender*", "App3"}, {"Calculator*", "App4"},
    {"Spell*", "App5"}, {"New*", "App6"},   {"Open*", "App7"}, {"Close*", "App8"},    {"Save*", "App9"},
};

// -- every property list reads the same with an independent reader -----------------------------

class PlistFile : public testing::TestWithParam<const char *>
{
};

TEST_P(PlistFile, ReadsTheSameWithPythonPlistlib)
{
    const QString path = ResourceFiles::path(QLatin1String(GetParam()));
    const auto ours = PropertyList::readFile(path);
    ASSERT_TRUE(ours.has_value()) << path.toStdString();
    const auto theirs = PythonPlist::dump(path);
    ASSERT_TRUE(theirs.has_value()) << PythonPlist::lastError().toStdString();
    EXPECT_EQ(*theirs, PythonPlist::canonical(*ours));
    EXPECT_FALSE(ours->toMap().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Resources, PlistFile,
                         testing::Values("LumivoxBrevonaData.plist", "LumivoxBrevonaType.plist",
                                         "LumivoxUsageTable.plist", "VirtualKeyCodes.plist",
                                         "DefaultLayerData.plist", "OLEDNumbers.plist",
                                         "LumivoxBrevonaMiniPreview.plist", "BlackLayer/Layer.plist"));

// -- names ---------------------------------------------------------------------------------------

TEST(KeyboardTables, EveryKeyOfEveryTableIsInTheButtonInformationTable)
{
    const QVariantMap info = buttonInfo();
    ASSERT_FALSE(info.isEmpty());
    const std::vector<std::pair<const char *, QStringList>> tables = {
        {"ButtonsLocations", geometry().value("ButtonsLocations").toMap().keys()},
        {"ButtonsNonStandardAreas", geometry().value("ButtonsNonStandardAreas").toMap().keys()},
        {"OLEDNumbers", ResourceFiles::dictionary("OLEDNumbers.plist").keys()},
        {"VirtualKeyCodes", ResourceFiles::dictionary("VirtualKeyCodes.plist").keys()},
        {"DefaultLayerData", ResourceFiles::dictionary("DefaultLayerData.plist").keys()},
        {"LumivoxBrevonaMiniPreview", ResourceFiles::dictionary("LumivoxBrevonaMiniPreview.plist").keys()},
        {"BlackLayer Buttons",
         ResourceFiles::dictionary("BlackLayer/Layer.plist").value("Buttons").toMap().keys()},
    };
    for (const auto &[table, keys] : tables) {
        EXPECT_FALSE(keys.isEmpty()) << table;
        for (const QString &key : keys)
            EXPECT_TRUE(info.contains(key)) << table << " names the unknown key " << key.toStdString();
    }
}

TEST(KeyboardTables, UsageTableNamesOnlyKnownKeys)
{
    const QVariantMap info = buttonInfo();
    const QVariantMap standard = usageTable("Standard");
    const QVariantMap multimedia = usageTable("Multimedia");
    ASSERT_FALSE(standard.isEmpty());
    for (auto it = standard.cbegin(); it != standard.cend(); ++it) {
        bool number = false;
        it.key().toInt(&number);
        EXPECT_TRUE(number) << it.key().toStdString();
        EXPECT_TRUE(info.contains(it.value().toString())) << it.value().toString().toStdString();
    }
    // The consumer page carries exactly the ten names that the action listener translates.
    std::set<QString> names;
    for (const QVariant &name : multimedia)
        names.insert(name.toString());
    EXPECT_EQ(names, std::set<QString>(kApplicationKeys.keyBegin(), kApplicationKeys.keyEnd()));
    for (const QString &button : kApplicationKeys)
        EXPECT_TRUE(info.contains(button)) << button.toStdString();
}

TEST(KeyboardTables, HasTheKeysOtherPartsName)
{
    const QVariantMap info = buttonInfo();
    for (const char *name : {"ShiftLeft", "ShiftRight", "CtrlLeft", "CtrlRight", "AltLeft", "AltRight",
                             "CmdLeft", "CmdRight", "CapsLock", "G", "H"})
        EXPECT_TRUE(info.contains(QLatin1String(name))) << name;
    // Modifier keys are reported by the keyboard interface under their own names.
    QStringList standardNames;
    for (const QVariant &name : usageTable("Standard"))
        standardNames.append(name.toString());
    for (const char *name : {"ShiftLeft", "ShiftRight", "CtrlLeft", "CtrlRight", "AltLeft", "AltRight",
                             "CmdLeft", "CmdRight", "CapsLock"})
        EXPECT_TRUE(standardNames.contains(QLatin1String(name))) << name;
}

// -- displays ------------------------------------------------------------------------------------

TEST(KeyboardTables, DisplayNumbersAreUniqueAndCoverAllDisplays)
{
    std::set<int> displays;
    const QVariantMap info = buttonInfo();
    const QVariantMap numbers = ResourceFiles::dictionary("OLEDNumbers.plist");
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (!entry.contains("OLEDIndex"))
            continue;
        const int display = entry.value("OLEDIndex").toInt();
        EXPECT_TRUE(displays.insert(display).second) << "display " << display << " twice";
        EXPECT_EQ(numbers.value(it.key()).toInt(), display) << it.key().toStdString();
    }
    EXPECT_EQ(displays.size(), 114u);
    EXPECT_EQ(*displays.begin(), 1);
    EXPECT_EQ(*displays.rbegin(), 114);
    EXPECT_EQ(numbers.size(), 114);
}

TEST(KeyboardTables, ApplicationKeysHaveDisplays89To98)
{
    const QVariantMap info = buttonInfo();
    for (int i = 0; i < 10; ++i) {
        const QString name = QStringLiteral("App%1").arg(i);
        EXPECT_EQ(info.value(name).toMap().value("OLEDIndex").toInt(), 89 + i) << name.toStdString();
    }
}

// -- geometry ------------------------------------------------------------------------------------

TEST(KeyboardGeometry, StandardSizeAndNoShift)
{
    EXPECT_EQ(geometry().value("ButtonsSize").toString(), "{48, 48}");
    EXPECT_EQ(geometry().value("VisualDelta").toString(), "{0, 0}");
}

TEST(KeyboardGeometry, CellsLieInsideThePictureAndApart)
{
    const QVariantMap info = buttonInfo();
    const QVariantMap locations = geometry().value("ButtonsLocations").toMap();
    EXPECT_EQ(locations.size(), 114);
    std::vector<std::pair<QString, QRect>> cells;
    for (auto it = locations.cbegin(); it != locations.cend(); ++it) {
        const auto location = ResourceFiles::point(it.value());
        ASSERT_TRUE(location) << it.key().toStdString() << " " << it.value().toString().toStdString();
        // Both programs must agree where the key's picture is.
        EXPECT_EQ(info.value(it.key()).toMap().value("Location"), it.value()) << it.key().toStdString();
        const QRect cell(*location, QSize(kCell, kCell));
        EXPECT_TRUE(QRect(0, 0, kPictureWidth, kPictureHeight).contains(cell)) << it.key().toStdString();
        for (const auto &[other, otherCell] : cells)
            EXPECT_FALSE(cell.intersects(otherCell))
                << it.key().toStdString() << " overlaps " << other.toStdString();
        cells.emplace_back(it.key(), cell);
    }
}

TEST(KeyboardGeometry, LargerKeysSurroundTheirOwnCellOnly)
{
    const QVariantMap locations = geometry().value("ButtonsLocations").toMap();
    const QVariantMap areas = geometry().value("ButtonsNonStandardAreas").toMap();
    for (const char *name : {"Space", "Enter", "ShiftLeft", "ShiftRight", "Backspace", "Tab", "CapsLock"})
        EXPECT_TRUE(areas.contains(QLatin1String(name))) << name;
    for (auto it = areas.cbegin(); it != areas.cend(); ++it) {
        const auto area = ResourceFiles::rect(it.value());
        ASSERT_TRUE(area) << it.key().toStdString();
        const auto own = ResourceFiles::point(locations.value(it.key()));
        ASSERT_TRUE(own) << it.key().toStdString();
        EXPECT_TRUE(area->contains(QRect(*own, QSize(kCell, kCell)))) << it.key().toStdString();
        EXPECT_GT(area->width() * area->height(), kCell * kCell) << it.key().toStdString();
        EXPECT_TRUE(QRect(0, 0, kPictureWidth, kPictureHeight).contains(*area)) << it.key().toStdString();
        for (auto other = locations.cbegin(); other != locations.cend(); ++other) {
            if (other.key() == it.key())
                continue;
            const QRect otherOutline = areas.contains(other.key())
                                           ? *ResourceFiles::rect(areas.value(other.key()))
                                           : QRect(*ResourceFiles::point(other.value()), QSize(kCell, kCell));
            EXPECT_FALSE(area->intersects(otherOutline))
                << it.key().toStdString() << " / " << other.key().toStdString();
        }
    }
}

TEST(KeyboardGeometry, MiniPreviewRectanglesFlipIntoTheIcon)
{
    const QImage icon(ResourceFiles::path("keyboardPreviewSmall.png"));
    ASSERT_FALSE(icon.isNull());
    const QVariantMap rects = ResourceFiles::dictionary("LumivoxBrevonaMiniPreview.plist");
    EXPECT_EQ(rects.size(), 114);
    std::vector<QRect> flipped;
    for (auto it = rects.cbegin(); it != rects.cend(); ++it) {
        const auto rect = ResourceFiles::rect(it.value());
        ASSERT_TRUE(rect) << it.key().toStdString();
        // Readers place the rectangle at y = height - y - 2, counted from the bottom.
        const int bottomUpY = icon.height() - rect->y() - 2;
        const QRect topDown(rect->x(), icon.height() - bottomUpY - rect->height(), rect->width(),
                            rect->height());
        EXPECT_TRUE(icon.rect().contains(topDown)) << it.key().toStdString();
        for (const QRect &other : flipped)
            EXPECT_FALSE(topDown.intersects(other)) << it.key().toStdString();
        flipped.push_back(topDown);
    }
}

// -- key codes and usages ------------------------------------------------------------------------

// X11 key codes of the evdev keyboard model that every X server uses.
class X11KeyCode : public testing::TestWithParam<std::pair<const char *, int>>
{
};

TEST_P(X11KeyCode, IsTheKeysChar)
{
    const auto [name, code] = GetParam();
    EXPECT_EQ(buttonInfo().value(QLatin1String(name)).toMap().value("Char").toInt(), code) << name;
}

INSTANTIATE_TEST_SUITE_P(Anchors, X11KeyCode,
                         testing::Values(std::pair{"Esc", 9}, std::pair{"1", 10}, std::pair{"A", 38},
                                         std::pair{"G", 42}, std::pair{"H", 43}, std::pair{"Enter", 36},
                                         std::pair{"ShiftLeft", 50}, std::pair{"CapsLock", 66},
                                         std::pair{"Space", 65}, std::pair{"F1", 67}, std::pair{"F12", 96},
                                         std::pair{"CtrlRight", 105}, std::pair{"AltRight", 108},
                                         std::pair{"CmdLeft", 133}, std::pair{"Menu", 135},
                                         std::pair{"ArrowUp", 111}, std::pair{"KeypadEnter", 104},
                                         std::pair{"App0", 0}));

TEST(KeyCodes, VirtualKeyCodesAreTheCharactersKeysChars)
{
    const QVariantMap info = buttonInfo();
    const QVariantMap codes = ResourceFiles::dictionary("VirtualKeyCodes.plist");
    const QVariantMap controls = ResourceFiles::dictionary("DefaultLayerData.plist");
    for (const char *name : {"A", "Z", "1", "0", "Grave", "Minus", "Equal", "BracketLeft", "Backslash",
                             "Quote", "Comma", "Period", "Slash", "Semicolon"})
        EXPECT_TRUE(codes.contains(QLatin1String(name))) << name;
    std::set<int> seen;
    for (auto it = codes.cbegin(); it != codes.cend(); ++it) {
        EXPECT_EQ(it.value().toInt(), info.value(it.key()).toMap().value("Char").toInt())
            << it.key().toStdString();
        EXPECT_TRUE(seen.insert(it.value().toInt()).second) << it.key().toStdString();
        // A key is either drawn by the language layers or labelled as a control key, never both.
        EXPECT_FALSE(controls.contains(it.key())) << it.key().toStdString();
    }
    std::set<int> chars;
    for (const QVariant &entry : info) {
        const int code = entry.toMap().value("Char").toInt();
        EXPECT_TRUE(code == 0 || (code >= 8 && code <= 255)) << code;
        if (code) {
            EXPECT_TRUE(chars.insert(code).second) << "Char " << code << " twice";
        }
    }
}

TEST(KeyCodes, ControlKeyLabelsFitTheirPicture)
{
    const QVariantMap controls = ResourceFiles::dictionary("DefaultLayerData.plist");
    EXPECT_TRUE(controls.contains("ShiftLeft"));
    EXPECT_TRUE(controls.contains("Esc"));
    for (auto it = controls.cbegin(); it != controls.cend(); ++it) {
        const QVariantList labels = it.value().toList();
        ASSERT_FALSE(labels.isEmpty()) << it.key().toStdString();
        for (const QVariant &label : labels) {
            EXPECT_EQ(label.typeId(), QMetaType::QString);
            // The label size rule is 30 - 4 x length points, which must stay readable.
            EXPECT_GE(30 - 4 * label.toString().size(), 6) << label.toString().toStdString();
        }
    }
}

TEST(Scancodes, TableHoldsWhatEachKeySends)
{
    QFile file(ResourceFiles::path("scancode.sys"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray table = file.readAll();
    ASSERT_EQ(table.size(), 9216);
    const QVariantMap standard = usageTable("Standard");
    const QVariantMap multimedia = usageTable("Multimedia");
    std::set<int> used;
    const QVariantMap info = buttonInfo();
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        const int position = it.value().toMap().value("KeyIndex").toInt();
        ASSERT_GE(position, 1) << it.key().toStdString();
        ASSERT_LE(position, 144) << it.key().toStdString();
        EXPECT_TRUE(used.insert(position).second) << "KeyIndex " << position << " twice";
        const QByteArray record = table.mid((position - 1) * 64, 64);
        const auto byte = [&](int i) { return static_cast<quint8>(record[i]); };
        if (byte(0) == 1) {
            EXPECT_EQ(standard.value(QString::number(byte(1))).toString(), it.key());
        } else {
            ASSERT_EQ(byte(0), 2) << it.key().toStdString();
            const QString name = multimedia.value(QString::number(byte(1) << 8 | byte(2))).toString();
            EXPECT_EQ(kApplicationKeys.value(name), it.key());
        }
    }
    for (int position = 1; position <= 144; ++position) {
        if (!used.count(position)) {
            EXPECT_EQ(table.mid((position - 1) * 64, 64), QByteArray(64, '\0')) << position;
        }
    }
}

TEST(Scancodes, TheDriversTenKeysAreNamedAfterTheirKeys)
{
    // The driver writes these usages into these records; the usage table must report them as
    // the keys sitting at those positions.
    const std::pair<int, int> special[] = {{7, 0x7E},  {47, 0x7F}, {15, 0x80}, {55, 0x81}, {23, 0x82},
                                           {63, 0x87}, {31, 0x89}, {71, 0x8A}, {39, 0x8B}, {79, 0x8C}};
    const QVariantMap info = buttonInfo();
    const QVariantMap standard = usageTable("Standard");
    for (const auto &[position, usage] : special) {
        QString atPosition;
        for (auto it = info.cbegin(); it != info.cend(); ++it) {
            if (it.value().toMap().value("KeyIndex").toInt() == position)
                atPosition = it.key();
        }
        ASSERT_FALSE(atPosition.isEmpty()) << position;
        EXPECT_EQ(standard.value(QString::number(usage)).toString(), atPosition) << position;
    }
}

// -- pictures ------------------------------------------------------------------------------------

TEST(Pictures, BackgroundsCoverTheLayerPicture)
{
    for (const char *name : {"LumivoxBrevonaWhite.png", "LumivoxBrevonaBlack.png"}) {
        QImageReader reader(ResourceFiles::path(QLatin1String(name)));
        EXPECT_EQ(reader.format(), "png") << name;
        EXPECT_EQ(reader.size(), QSize(kPictureWidth, kPictureHeight)) << name;
    }
    EXPECT_EQ(QImage(ResourceFiles::path("Loading48x48.png")).size(), QSize(kCell, kCell));
}

TEST(Pictures, DrawMaskLeavesEveryCellBlackInside)
{
    const QString path = ResourceFiles::path("KeyboardDrawMask.tiff");
    EXPECT_EQ(ResourceFiles::tiffCompression(path), 5);
    const QImage mask = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(mask.size(), QSize(kPictureWidth, kPictureHeight));
    // Importing an untouched drawing compares the inner 46 x 46 of each cell with black.
    const QVariantMap locations = geometry().value("ButtonsLocations").toMap();
    for (auto it = locations.cbegin(); it != locations.cend(); ++it) {
        const QPoint origin = *ResourceFiles::point(it.value());
        for (int y = 1; y < kCell - 1; ++y)
            for (int x = 1; x < kCell - 1; ++x)
                ASSERT_EQ(mask.pixel(origin + QPoint(x, y)) & 0xFFFFFF, 0u) << it.key().toStdString();
    }
    // Outside the cells the drawing shows the keys.
    int drawn = 0;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            drawn += (mask.pixel(x, y) & 0xFFFFFF) != 0;
    EXPECT_GT(drawn, 114 * 4 * kCell);
}

TEST(Pictures, BlackLayerDefinesEveryKeyOnBlack)
{
    const QString picturePath = ResourceFiles::path("BlackLayer/Main.tiff");
    EXPECT_EQ(ResourceFiles::tiffCompression(picturePath), 5);
    const QImage picture = QImage(picturePath).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(kPictureWidth, kPictureHeight));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ASSERT_EQ(picture.pixel(x, y) & 0xFFFFFF, 0u) << x << "," << y;

    const QVariantMap layer = ResourceFiles::dictionary("BlackLayer/Layer.plist");
    EXPECT_EQ(layer.value("Disabled"), false);
    const QVariantMap buttons = layer.value("Buttons").toMap();
    EXPECT_EQ(buttons.size(), 114);
    for (auto it = buttons.cbegin(); it != buttons.cend(); ++it) {
        EXPECT_EQ(it.value().typeId(), QMetaType::QVariantMap) << it.key().toStdString();
        EXPECT_TRUE(it.value().toMap().isEmpty()) << it.key().toStdString();
    }
}

} // namespace
