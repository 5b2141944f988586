// Cross-checks of the generated keyboard data set: the tables must describe one keyboard.

#include <map>
#include <set>

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QImageReader>

#include "KDActionListener.h"
#include "KDScancodeTable.h"
#include "ResourceFiles.h"
#include "TestPrinters.h"

using brevona::KDActionListener;
using brevona::KDScancodeTable;
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

// -- names ---------------------------------------------------------------------------------------

TEST(KeyboardTables, EveryKeyOfEveryTableIsInTheButtonInformationTable)
{
    const QVariantMap info = buttonInfo();
    ASSERT_FALSE(info.isEmpty());
    const std::vector<std::pair<const char *, QStringList>> tables = {
        {"ButtonsLocations", geometry().value("ButtonsLocations").toMap().keys()},
        {"ButtonsNonStandardAreas", geometry().value("ButtonsNonStandardAreas").toMap().keys()},
        {"OLEDNumbers", ResourceFiles::dictionary("OLEDNumbers.plist").keys()},
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
    ASSERT_FALSE(standard.isEmpty());
    for (auto it = standard.cbegin(); it != standard.cend(); ++it) {
        bool number = false;
        it.key().toInt(&number);
        EXPECT_TRUE(number) << it.key().toStdString();
        EXPECT_TRUE(info.contains(it.value().toString())) << it.value().toString().toStdString();
    }
    // The consumer page carries the names that the action listener turns into the ten
    // application keys, one each.
    std::set<QString> buttons;
    for (const QVariant &name : usageTable("Multimedia")) {
        const QString button = KDActionListener::translateKeyName(name.toString());
        EXPECT_TRUE(buttons.insert(button).second) << button.toStdString();
        EXPECT_TRUE(button.startsWith("App") && info.contains(button)) << name.toString().toStdString();
    }
    EXPECT_EQ(buttons.size(), 10u);
}

// -- displays ------------------------------------------------------------------------------------

// Unique displays 1 to 114 are the data set's own rule, checked where it is loaded.
TEST(KeyboardTables, DisplayNumbersTableAgreesWithTheButtonInformation)
{
    const QVariantMap info = buttonInfo();
    const QVariantMap numbers = ResourceFiles::dictionary("OLEDNumbers.plist");
    EXPECT_EQ(numbers.size(), 114);
    for (auto it = numbers.cbegin(); it != numbers.cend(); ++it)
        EXPECT_EQ(info.value(it.key()).toMap().value("OLEDIndex"), it.value()) << it.key().toStdString();
}

// -- geometry ------------------------------------------------------------------------------------

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

// X11 key codes of the evdev keyboard model that every X server uses, one key of each kind.
struct KeyCode
{
    const char *name;
    int code;
};

class X11KeyCode : public testing::TestWithParam<KeyCode>
{
};

TEST_P(X11KeyCode, IsTheKeysChar)
{
    EXPECT_EQ(buttonInfo().value(QLatin1String(GetParam().name)).toMap().value("Char").toInt(),
              GetParam().code);
}

const KeyCode kKeyCodes[] = {
    {.name = "Esc", .code = 9},       {.name = "A", .code = 38},   {.name = "ShiftLeft", .code = 50},
    {.name = "Space", .code = 65},    {.name = "F12", .code = 96}, {.name = "KeypadEnter", .code = 104},
    {.name = "CmdLeft", .code = 133}, {.name = "App0", .code = 0},
};

INSTANTIATE_TEST_SUITE_P(Anchors, X11KeyCode, testing::ValuesIn(kKeyCodes), brevona::test::RowName());

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

// The name the usage table gives the usage a scancode record sends, or nothing for an empty record.
QString sentKey(const QByteArray &record)
{
    const auto byte = [&](int i) { return static_cast<quint8>(record[i]); };
    if (byte(0) == 1)
        return usageTable("Standard").value(QString::number(byte(1))).toString();
    if (byte(0) == 2)
        return KDActionListener::translateKeyName(
            usageTable("Multimedia").value(QString::number(byte(1) << 8 | byte(2))).toString());
    return {};
}

// Each key's record, at its "KeyIndex", sends the usage that the HID watcher reports as that key.
TEST(Scancodes, TableHoldsWhatEachKeySends)
{
    QFile file(ResourceFiles::path("scancode.sys"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray table = file.readAll();
    ASSERT_EQ(table.size(), KDScancodeTable::TableSize);
    std::map<int, QString> keyAt;
    const QVariantMap info = buttonInfo();
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        const int position = it.value().toMap().value("KeyIndex").toInt();
        ASSERT_TRUE(position >= 1 && position <= KDScancodeTable::RecordCount) << it.key().toStdString();
        EXPECT_TRUE(keyAt.emplace(position, it.key()).second) << "KeyIndex " << position << " twice";
    }
    for (int position = 1; position <= KDScancodeTable::RecordCount; ++position) {
        const QByteArray record =
            table.mid((position - 1) * KDScancodeTable::RecordSize, KDScancodeTable::RecordSize);
        if (keyAt.count(position)) {
            EXPECT_EQ(sentKey(record), keyAt[position]) << position;
        } else {
            EXPECT_EQ(record, QByteArray(KDScancodeTable::RecordSize, '\0')) << position;
        }
    }
}

// The driver rewrites ten records with keyboard-page usages of its own; the usage table must
// report them as the keys sitting at those positions.
TEST(Scancodes, TheDriversTenKeysAreNamedAfterTheirKeys)
{
    const QByteArray empty(KDScancodeTable::TableSize, '\0');
    QByteArray table = empty;
    KDScancodeTable::writeKeystrokesToSpecialButtons(table);
    std::map<int, QString> keyAt;
    const QVariantMap info = buttonInfo();
    for (auto it = info.cbegin(); it != info.cend(); ++it)
        keyAt[it.value().toMap().value("KeyIndex").toInt()] = it.key();
    int rewritten = 0;
    for (int position = 1; position <= KDScancodeTable::RecordCount; ++position) {
        const QByteArray record =
            table.mid((position - 1) * KDScancodeTable::RecordSize, KDScancodeTable::RecordSize);
        if (record == empty.left(KDScancodeTable::RecordSize))
            continue;
        ++rewritten;
        ASSERT_EQ(record[0], 1) << position;
        EXPECT_EQ(sentKey(record), keyAt[position]) << position;
    }
    EXPECT_EQ(rewritten, 10);
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
    EXPECT_EQ(QImage(ResourceFiles::path("Unknown48x48.png")).size(), QSize(kCell, kCell));
    // A dragged plugin's icon goes 5 in and 6 down: the frame holds the icon with a margin.
    const QImage mask(ResourceFiles::path("PluginItemMask.png"));
    EXPECT_GE(mask.width(), 5 + kCell);
    EXPECT_GE(mask.height(), 6 + kCell);
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
