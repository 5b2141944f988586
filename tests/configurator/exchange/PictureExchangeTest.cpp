// Pictures in and out: the button set's display encoding and files, the keyboard template, and a
// whole-keyboard picture cut into a layer.
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QUndoStack>

#include "KCImportExportManager.h"
#include "KCSingleLayer.h"
#include "KeyboardData.h"
#include "LayerManagerFixture.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;

struct ColourRow
{
    const char *name;
    QColor colour;
    int side;      // of the picture given
    quint16 pixel; // every pixel but the last of each row
    quint16 last;
};

// Channel packing and the green rule are the shared encoding's (Rgb565CodecTest); here what this
// encoder adds: the green rule before the halving of each row's last pixel (12 stays, then halves
// to 6), pictures over black (half a white is grey), and other sizes scaled to the display.
// clang-format off
const ColourRow kColourRows[] = {
    {.name = "faint_green_kept_then_halved", .colour = QColor(0, 12, 0), .side = 48, .pixel = 0x0060, .last = 0x0020},
    {.name = "half_transparent_white", .colour = QColor(255, 255, 255, 128), .side = 48, .pixel = 0x8410, .last = 0x4208},
    {.name = "red_of_another_size_scaled", .colour = QColor(255, 0, 0), .side = 96, .pixel = 0xF800, .last = 0x7800},
};
// clang-format on

class ButtonSetEncoding : public testing::TestWithParam<ColourRow>
{
};

TEST_P(ButtonSetEncoding, GivesTheKnownBytes)
{
    const ColourRow &row = GetParam();
    QImage picture(row.side, row.side, QImage::Format_ARGB32);
    picture.fill(row.colour);
    const QByteArray bytes = KCImportExportManager::OLEDDataForImage(picture);
    ASSERT_EQ(bytes.size(), 4608);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const int offset = 2 * (48 * y + x);
            ASSERT_EQ(quint16((quint8(bytes[offset]) << 8) | quint8(bytes[offset + 1])),
                      x == 47 ? row.last : row.pixel)
                << "pixel " << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ButtonSetEncoding, testing::ValuesIn(kColourRows), RowName());

class PictureExchangeTest : public LayerManagerFixture
{
protected:
    QString folder() const { return home.path() + "/set"; }
};

TEST_F(PictureExchangeTest, ButtonSetNamesEachKeyByItsDisplay)
{
    QImage white(48, 48, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_EQ(manager->setKeyPicture("A", "Esc", white), Outcome::Done);
    ASSERT_EQ(manager->setKeyPicture("B", "Esc", LayerPicture::blackKey()), Outcome::Done);
    ASSERT_EQ(manager->setKeyPicture("B", "F1", white), Outcome::Done);
    KCImportExportManager exchange(*manager);
    QList<int> progress;
    // A and B merged: B is lower in the list, so its black Esc wins.
    const auto written = exchange.exportButtons({"B", "A"}, folder(), [&](int percent) {
        progress << percent;
        return true;
    });
    ASSERT_TRUE(written) << written.error().toStdString();
    EXPECT_EQ(*written, 2);
    EXPECT_EQ(progress, QList<int>({50, 100}));
    QFile escape(
        QDir(folder()).filePath(QString::asprintf("%03d.sys", KeyboardData::shared().key("Esc")->display)));
    ASSERT_TRUE(escape.open(QIODevice::ReadOnly));
    EXPECT_EQ(escape.readAll(), QByteArray(4608, '\0'));
}

TEST_F(PictureExchangeTest, TemplateDrawsTheLayersKeysOnTheKeyboard)
{
    KCImportExportManager exchange(*manager);
    const auto written = exchange.exportTemplate({"L1"}, home.path() + "/template.png");
    ASSERT_TRUE(written) << written.error().toStdString();
    const QImage picture(*written);
    ASSERT_EQ(picture.size(), QSize(1312, 376));
    const QPoint app0 = *LayerPicture::location("App0");
    EXPECT_EQ(picture.pixelColor(app0 + QPoint(24, 24)), QColor(Qt::red));
    // Elsewhere the keyboard drawing shows.
    const QImage mask(KeyboardData::shared().filePath("KeyboardDrawMask.tiff"));
    const QPoint escape = *LayerPicture::location("Esc") + QPoint(24, 24);
    EXPECT_EQ(picture.pixel(escape), mask.convertToFormat(picture.format()).pixel(escape));
}

// A picture black but for the cells of the given keys, and the border of one more.
QImage keyboardPicture(const QStringList &filled, const QString &borderOnly)
{
    QImage picture = LayerPicture::blackLayer();
    QPainter painter(&picture);
    for (const QString &key : filled)
        painter.fillRect(QRect(*LayerPicture::location(key) + QPoint(20, 20), QSize(4, 4)), Qt::yellow);
    if (!borderOnly.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawRect(QRect(*LayerPicture::location(borderOnly), QSize(47, 47)));
    }
    return picture;
}

// A new layer named after the file, with the keys the picture shows (a border alone shows
// nothing); or into a layer, whose keys it overwrites and adds to; never one of another size.
TEST_F(PictureExchangeTest, PictureBecomesANewLayerOrGoesIntoOne)
{
    const auto keys = [&](const QString &layer) {
        QStringList names = manager->findLayerByID(layer)->buttonNames();
        names.sort();
        return names.join(',');
    };
    KCImportExportManager exchange(*manager);
    const QString sunset = home.path() + "/Sunset.png";
    ASSERT_TRUE(keyboardPicture({"App0", "A", "Space"}, "B").save(sunset));
    const auto created = exchange.importPictureFile(sunset);
    ASSERT_TRUE(created) << created.error().toStdString();
    EXPECT_EQ(manager->findLayerByID(*created)->title(), "Sunset");
    EXPECT_EQ(keys(*created), "A,App0,Space");
    EXPECT_EQ(link.names(), QStringList({"ItemCreated"}));
    manager->undoStack()->undo();
    EXPECT_FALSE(manager->findLayerByID(*created));

    // L1 has App0 (red); the picture shows nothing there but something in A.
    link.sent.clear();
    const QString painted = home.path() + "/Painted.tiff";
    ASSERT_TRUE(keyboardPicture({"A"}, QString()).save(painted));
    ASSERT_TRUE(exchange.importPictureFile(painted, "L1"));
    EXPECT_EQ(keys("L1"), "A,App0");
    const auto l1 = std::static_pointer_cast<KCSingleLayer>(manager->findLayerByID("L1"));
    EXPECT_EQ(l1->pictureImageForButton("App0").convertToFormat(QImage::Format_RGB32),
              LayerPicture::blackKey().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(link.names(), QStringList({"ButtonsChanged"}));
    EXPECT_EQ(manager->selection(), QStringList({"L1"}));

    // A picture of another size changes nothing.
    const QString small = home.path() + "/Small.png";
    ASSERT_TRUE(QImage(1311, 376, QImage::Format_RGB32).save(small));
    const auto before = files();
    link.sent.clear();
    const auto refused = exchange.importPictureFile(small);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "Wrong image format: It should be 1312 pixels wide, and 376 pixels high");
    EXPECT_EQ(files(), before);
    EXPECT_TRUE(link.sent.empty());
}

} // namespace
} // namespace brevona::test
