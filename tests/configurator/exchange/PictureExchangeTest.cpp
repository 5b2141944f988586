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
    QImage::Format format;
    quint16 pixel; // every pixel but the last of each row
    quint16 last;
};

const ColourRow kColourRows[] = {
    {"white", Qt::white, QImage::Format_RGB32, 0xFFFF, 0x7BEF},
    {"red", QColor(255, 0, 0), QImage::Format_RGB888, 0xF800, 0x7800},
    {"green", QColor(0, 255, 0), QImage::Format_Indexed8, 0x07E0, 0x03E0},
    {"blue", QColor(0, 0, 255), QImage::Format_ARGB32, 0x001F, 0x000F},
    // The green rule comes before the halving: 12 stays, then halves to 6.
    {"faint_green_kept", QColor(0, 12, 0), QImage::Format_RGB32, 0x0060, 0x0020},
    {"fainter_green_dropped", QColor(0, 7, 0), QImage::Format_RGB32, 0x0000, 0x0000},
    // Over black whatever the source: half a white is grey.
    {"half_transparent_white", QColor(255, 255, 255, 128), QImage::Format_ARGB32, 0x8410, 0x4208},
};

class ButtonSetEncoding : public testing::TestWithParam<ColourRow>
{
};

TEST_P(ButtonSetEncoding, GivesTheKnownBytes)
{
    const ColourRow &row = GetParam();
    QImage picture(48, 48, row.format == QImage::Format_Indexed8 ? QImage::Format_RGB32 : row.format);
    picture.fill(row.colour);
    if (row.format == QImage::Format_Indexed8)
        picture = picture.convertToFormat(QImage::Format_Indexed8);
    const QByteArray bytes = KCImportExportManager::OLEDDataForImage(picture);
    ASSERT_EQ(bytes.size(), 4608);
    const auto at = [&](int x, int y) {
        const int offset = 2 * (48 * y + x);
        return quint16((quint8(bytes[offset]) << 8) | quint8(bytes[offset + 1]));
    };
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(at(x, y), x == 47 ? row.last : row.pixel) << "pixel " << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ButtonSetEncoding, testing::ValuesIn(kColourRows), RowName());

TEST(ButtonSetEncodingScale, AnotherSizeIsScaledToTheDisplay)
{
    QImage picture(96, 96, QImage::Format_RGB32);
    picture.fill(Qt::white);
    const QByteArray bytes = KCImportExportManager::OLEDDataForImage(picture);
    ASSERT_EQ(bytes.size(), 4608);
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xFF", 2));
    EXPECT_EQ(bytes.mid(94, 2), QByteArray("\x7B\xEF", 2));
}

class PictureExchangeTest : public LayerManagerFixture
{
protected:
    QString folder() const { return home.path() + "/set"; }
    static int display(const QString &key) { return KeyboardData::shared().key(key)->display; }
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
    QStringList expected{QString::asprintf("%03d.sys", display("Esc")),
                         QString::asprintf("%03d.sys", display("F1"))};
    expected.sort();
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files, QDir::Name), expected);
    QFile escape(QDir(folder()).filePath(QString::asprintf("%03d.sys", display("Esc"))));
    ASSERT_TRUE(escape.open(QIODevice::ReadOnly));
    EXPECT_EQ(escape.readAll(), QByteArray(4608, '\0'));
}

TEST_F(PictureExchangeTest, TemplateDrawsTheLayersKeysOnTheKeyboard)
{
    KCImportExportManager exchange(*manager);
    const auto written = exchange.exportTemplate({"L1"}, home.path() + "/template.png");
    ASSERT_TRUE(written) << written.error().toStdString();
    EXPECT_TRUE(written->endsWith("/template.tiff"));
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

TEST_F(PictureExchangeTest, PictureBecomesANewLayerWithTheKeysItShows)
{
    const QString path = home.path() + "/Sunset.png";
    ASSERT_TRUE(keyboardPicture({"App0", "A", "Space"}, "B").save(path));
    KCImportExportManager exchange(*manager);
    const auto layer = exchange.importPictureFile(path);
    ASSERT_TRUE(layer) << layer.error().toStdString();
    const auto created = manager->findLayerByID(*layer);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->title(), "Sunset");
    QStringList keys = created->buttonNames();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"A", "App0", "Space"}));
    EXPECT_EQ(link.names(), QStringList({"ItemCreated"}));
    manager->undoStack()->undo();
    EXPECT_FALSE(manager->findLayerByID(*layer));
}

TEST_F(PictureExchangeTest, PictureIntoALayerOverwritesItsKeysAndAddsWhatItShows)
{
    // L1 has App0 (red); the picture shows nothing there but something in A.
    const QString path = home.path() + "/Painted.tiff";
    ASSERT_TRUE(keyboardPicture({"A"}, QString()).save(path));
    KCImportExportManager exchange(*manager);
    const auto layer = exchange.importPictureFile(path, "L1");
    ASSERT_TRUE(layer) << layer.error().toStdString();
    const auto l1 = std::static_pointer_cast<KCSingleLayer>(manager->findLayerByID("L1"));
    QStringList keys = l1->buttonNames();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"A", "App0"}));
    EXPECT_EQ(l1->pictureImageForButton("App0").convertToFormat(QImage::Format_RGB32),
              LayerPicture::blackKey().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(link.names(), QStringList({"ButtonsChanged"}));
    EXPECT_EQ(manager->selection(), QStringList({"L1"}));
}

TEST_F(PictureExchangeTest, PictureOfAnotherSizeIsTheWrongFormat)
{
    const QString path = home.path() + "/Small.png";
    ASSERT_TRUE(QImage(1311, 376, QImage::Format_RGB32).save(path));
    const auto before = files();
    KCImportExportManager exchange(*manager);
    const auto layer = exchange.importPictureFile(path);
    ASSERT_FALSE(layer);
    EXPECT_EQ(layer.error(), "Wrong image format: It should be 1312 pixels wide, and 376 pixels high");
    EXPECT_EQ(files(), before);
    EXPECT_TRUE(link.sent.empty());
}

} // namespace
} // namespace brevona::test
