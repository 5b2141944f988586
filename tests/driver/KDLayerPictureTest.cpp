#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <gtest/gtest.h>

#include "KCLumivoxImage.h"
#include "KDLayerPicture.h"
#include "LogCapture.h"
#include "TestPrinters.h"

using namespace brevona;
using brevona::test::LogCapture;

namespace {

constexpr int Width = 1312;
constexpr int Height = 376;

QByteArray encoded(const QImage &picture, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (QByteArray(format) == "tiff")
        writer.setCompression(1);
    writer.write(picture);
    return bytes;
}

// A layer picture: transparent, with a red cell at (100, 50), a half-transparent green one at
// (200, 50) and a blue band over the last 24 columns.
QImage layerPicture()
{
    QImage picture(Width, Height, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(100, 50, 48, 48, QColor(255, 0, 0));
    painter.fillRect(200, 50, 48, 48, QColor(0, 255, 0, 128));
    painter.fillRect(Width - 24, 0, 24, Height, QColor(0, 0, 255));
    return picture;
}

// What the display shows for a cell, compared through its encoding.
QByteArray shown(const QImage &cell)
{
    return KCLumivoxImage(cell).oledData();
}

QByteArray solid(const QColor &colour)
{
    QImage picture(48, 48, QImage::Format_ARGB32_Premultiplied);
    picture.fill(colour);
    return shown(picture);
}

struct CellCase
{
    const char *name;
    const char *format;
    QPoint location;
    // The colour of the cell's left half and right half.
    QColor left;
    QColor right;
};

class LayerPictureCellTest : public ::testing::TestWithParam<CellCase>
{
};

TEST_P(LayerPictureCellTest, KeysShowTheirCellOverBlack)
{
    const CellCase &row = GetParam();
    KDLayerPicture picture(encoded(layerPicture(), row.format), QStringLiteral("Main.tiff"));
    picture.reserve(row.location);
    const QImage cell = picture.takeCell(row.location);
    ASSERT_EQ(cell.size(), QSize(48, 48));
    QImage expected(48, 48, QImage::Format_ARGB32_Premultiplied);
    expected.fill(row.left);
    QPainter(&expected).fillRect(24, 0, 24, 48, row.right);
    EXPECT_EQ(shown(cell), shown(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cells, LayerPictureCellTest,
    ::testing::Values(
        CellCase{
            .name = "opaque", .format = "tiff", .location = {100, 50}, .left = Qt::red, .right = Qt::red},
        CellCase{.name = "transparentIsBlack",
                 .format = "tiff",
                 .location = {400, 200},
                 .left = Qt::black,
                 .right = Qt::black},
        // Half-transparent green shows as the colour over black.
        CellCase{.name = "halfTransparent",
                 .format = "tiff",
                 .location = {200, 50},
                 .left = QColor(0, 128, 0),
                 .right = QColor(0, 128, 0)},
        // Half of the cell lies on the blue band, the rest beyond the picture's edge.
        CellCase{.name = "pastTheEdge",
                 .format = "tiff",
                 .location = {Width - 24, 0},
                 .left = Qt::blue,
                 .right = Qt::black},
        CellCase{
            .name = "pngContent", .format = "png", .location = {100, 50}, .left = Qt::red, .right = Qt::red}),
    brevona::test::RowName());

TEST(KDLayerPicture, EveryReservationOfACellIsServed)
{
    KDLayerPicture picture(encoded(layerPicture(), "tiff"), QStringLiteral("Main.tiff"));
    picture.reserve({100, 50});
    picture.reserve({100, 50});
    picture.reserve({300, 50});
    EXPECT_EQ(shown(picture.takeCell({100, 50})), solid(Qt::red));
    EXPECT_EQ(shown(picture.takeCell({100, 50})), solid(Qt::red));
    EXPECT_EQ(shown(picture.takeCell({300, 50})), solid(Qt::black));
    // A cell taken as often as it was reserved, or never reserved, is not there.
    EXPECT_TRUE(picture.takeCell({100, 50}).isNull());
    EXPECT_TRUE(picture.takeCell({0, 0}).isNull());
}

struct UnreadableCase
{
    const char *name;
    qsizetype bytes;
    int reservations;
    // Whether the picture is decoded (and its failure logged) as soon as the keys have reserved.
    bool decodedAtOnce;
};

class UnreadableLayerPictureTest : public ::testing::TestWithParam<UnreadableCase>
{
};

TEST_P(UnreadableLayerPictureTest, GivesBlackKeysAndOneLogLine)
{
    const UnreadableCase &row = GetParam();
    LogCapture log;
    const QString name = QStringLiteral("/store/L/Main.tiff");
    KDLayerPicture picture(QByteArray(row.bytes, 'x'), name);
    for (int i = 0; i < row.reservations; ++i)
        picture.reserve({48 * i, 0});
    picture.decodeIfSmaller();
    EXPECT_EQ(log.count(name), row.decodedAtOnce ? 1 : 0);
    for (int i = 0; i < row.reservations; ++i)
        EXPECT_TRUE(picture.takeCell({48 * i, 0}).isNull());
    EXPECT_EQ(log.count(name), 1) << log.messages().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, UnreadableLayerPictureTest,
    ::testing::Values(
        // Keeping the file costs less than its cut-outs would: decoded when a key is first shown.
        UnreadableCase{.name = "smallFileManyKeys", .bytes = 4000, .reservations = 3, .decodedAtOnce = false},
        // A file larger than the cells cut from it is decoded during loading and let go.
        UnreadableCase{
            .name = "largeFileFewKeys", .bytes = 3 * 4608 + 1, .reservations = 3, .decodedAtOnce = true}),
    brevona::test::RowName());

} // namespace
