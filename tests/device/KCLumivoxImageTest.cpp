#include <set>
#include <vector>

#include <QPainter>

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "KCLumivoxImage.h"
#include "Rgb565Codec.h"
#include "TestPrinters.h"

using namespace brevona;
using namespace brevona::test;
using brevona::test::RowName;

namespace {

QByteArray pixelBytes(int first, int second)
{
    QByteArray bytes;
    for (int i = 0; i < 48 * 48; ++i) {
        bytes.append(char(first));
        bytes.append(char(second));
    }
    return bytes;
}

// --- the encoding of one colour filling the whole picture

struct ColourRow
{
    const char *name;
    QColor colour;
    int byte0;
    int byte1;
};

class ColourEncodingTest : public ::testing::TestWithParam<ColourRow>
{
};

TEST_P(ColourEncodingTest, EveryPixelPacksToTheSameTwoBytes)
{
    KCLumivoxImage picture(solidImage(GetParam().colour));
    EXPECT_EQ(picture.oledData(), pixelBytes(GetParam().byte0, GetParam().byte1));
}

// Green below 8 is dropped; alpha is not shown: a pixel shows its colour over black.
const ColourRow kColourRows[] = {
    {.name = "green7", .colour = QColor(0, 7, 0), .byte0 = 0x00, .byte1 = 0x00},
    {.name = "green8", .colour = QColor(0, 8, 0), .byte0 = 0x00, .byte1 = 0x40},
    {.name = "halfTransparentRed", .colour = QColor(255, 0, 0, 128), .byte0 = 0x80, .byte1 = 0x00},
    {.name = "transparentWhite", .colour = QColor(255, 255, 255, 0), .byte0 = 0x00, .byte1 = 0x00},
};

INSTANTIATE_TEST_SUITE_P(Rows, ColourEncodingTest, ::testing::ValuesIn(kColourRows), RowName());

// --- whole pictures against two independent encoders

class NoiseEncodingTest : public ::testing::TestWithParam<quint32>
{
};

TEST_P(NoiseEncodingTest, MatchesTheRuleUprightAndTurned)
{
    const QImage source = noiseImage(GetParam());
    KCLumivoxImage picture(source);
    for (bool turned : {false, true}) {
        SCOPED_TRACE(turned ? "turned" : "upright");
        const QByteArray bytes = picture.oledData(turned);
        EXPECT_EQ(bytes, referenceEncoding(source, turned));
        EXPECT_EQ(bytes, Rgb565Codec::encode(source, turned));
        // The simulator's decoder gives the picture back to the precision of 5-6-5.
        const auto decoded = Rgb565Codec::decode(bytes, turned);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(Rgb565Codec::encode(*decoded, false), referenceEncoding(source, false));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NoiseEncodingTest, ::testing::Values(1u, 77u));

// Pins the direction the reference encoder turns in: a quarter turn clockwise.
TEST(KCLumivoxImageRotation, APixelLandsWhereAQuarterTurnClockwisePutsIt)
{
    QImage image = solidImage(Qt::black);
    image.setPixel(10, 3, qRgb(255, 255, 255));
    KCLumivoxImage picture(image);
    picture.setRotateOLEDImage(true);
    QByteArray expected(KCLumivoxImage::OledDataSize, '\0');
    expected[(10 * 48 + 44) * 2] = char(0xFF);
    expected[(10 * 48 + 44) * 2 + 1] = char(0xFF);
    EXPECT_EQ(picture.oledData(), expected);
}

// --- the cache

TEST(KCLumivoxImageCache, DrawingInvalidatesTheEncoding)
{
    KCLumivoxImage picture(solidImage(Qt::red));
    const QByteArray red = picture.oledData();
    {
        auto focus = picture.lockFocus();
        focus.painter().fillRect(0, 0, 48, 48, Qt::blue);
    }
    EXPECT_EQ(picture.oledData(), pixelBytes(0x00, 0x1F));
    {
        auto focus = picture.lockFocus();
        focus.image().setPixel(0, 0, qRgb(255, 255, 255));
    }
    const QByteArray withPixel = picture.oledData();
    EXPECT_EQ(withPixel.left(2), QByteArray("\xFF\xFF", 2));
    picture.setImage(solidImage(Qt::red));
    EXPECT_EQ(picture.oledData(), red);
}

TEST(KCLumivoxImageCache, PixelsLeftInAnotherSizeAreBroughtBack)
{
    KCLumivoxImage picture;
    {
        auto focus = picture.lockFocus();
        focus.image() = solidImage(Qt::green, 96, 20, QImage::Format_RGB888);
    }
    EXPECT_EQ(picture.image().size(), QSize(48, 48));
    EXPECT_EQ(picture.oledData(), pixelBytes(0x07, 0xE0));
}

// --- pictures of other sizes and formats

struct InputRow
{
    const char *name;
    QImage image;
};

class InputFormatTest : public ::testing::TestWithParam<InputRow>
{
};

TEST_P(InputFormatTest, EncodesAsTheSameColourAt48x48)
{
    KCLumivoxImage picture(GetParam().image);
    EXPECT_EQ(picture.image().size(), QSize(48, 48));
    EXPECT_EQ(picture.oledData(), pixelBytes(0xF8, 0x00));
}

const InputRow kInputRows[] = {
    {.name = "rgb16", .image = solidImage(Qt::red, 48, 48, QImage::Format_RGB16)},
    {.name = "retina", .image = solidImage(Qt::red, 96, 96)},
    {.name = "wide", .image = solidImage(Qt::red, 1312, 376)},
};

INSTANTIATE_TEST_SUITE_P(Rows, InputFormatTest, ::testing::ValuesIn(kInputRows), RowName());

TEST(KCLumivoxImageInput, AnEmptyPictureIsBlack)
{
    KCLumivoxImage picture{QImage()};
    EXPECT_EQ(picture.oledData(), QByteArray(KCLumivoxImage::OledDataSize, '\0'));
    EXPECT_EQ(KCLumivoxImage::create(QImage())->oledData(), QByteArray(KCLumivoxImage::OledDataSize, '\0'));
}

// --- equality

TEST(KCLumivoxImageEquality, ComparesEncodings)
{
    KCLumivoxImage red(solidImage(Qt::red));
    KCLumivoxImage alsoRed(solidImage(QColor(255, 2, 3)));
    KCLumivoxImage blue(solidImage(Qt::blue));
    KCLumivoxImage nearlyBlack(solidImage(QColor(0, 7, 0)));
    EXPECT_TRUE(red.isEqual(alsoRed));
    EXPECT_FALSE(red.isEqual(blue));
    EXPECT_TRUE(nearlyBlack == KCLumivoxImage());
}

// --- the pool

TEST(KCLumivoxImagePool, GrowsByTenWhenEmpty)
{
    std::vector<std::shared_ptr<KCLumivoxImage>> held;
    while (KCLumivoxImage::freePoolCount() > 0)
        held.push_back(KCLumivoxImage::blackImage());
    const std::size_t size = KCLumivoxImage::poolSize();
    EXPECT_GE(size, 10u);
    held.push_back(KCLumivoxImage::blackImage());
    EXPECT_EQ(KCLumivoxImage::poolSize(), size + 10);
    EXPECT_EQ(KCLumivoxImage::freePoolCount(), 9u);
    std::set<KCLumivoxImage *> distinct;
    for (const auto &picture : held) {
        EXPECT_TRUE(picture->belongsToPool());
        distinct.insert(picture.get());
    }
    EXPECT_EQ(distinct.size(), held.size());
    held.clear();
    EXPECT_EQ(KCLumivoxImage::freePoolCount(), KCLumivoxImage::poolSize());
}

TEST(KCLumivoxImagePool, ALetGoPictureComesBackBlackened)
{
    auto picture = KCLumivoxImage::blackImage();
    KCLumivoxImage *const address = picture.get();
    {
        auto focus = picture->lockFocus();
        focus.painter().fillRect(0, 0, 48, 48, Qt::white);
    }
    ASSERT_EQ(picture->oledData(), pixelBytes(0xFF, 0xFF));
    auto secondHolder = picture;
    const std::size_t free = KCLumivoxImage::freePoolCount();
    picture.reset();
    EXPECT_EQ(KCLumivoxImage::freePoolCount(), free) << "still held by the second holder";
    secondHolder.reset();
    EXPECT_EQ(KCLumivoxImage::freePoolCount(), free + 1);

    auto again = KCLumivoxImage::blackImage();
    EXPECT_EQ(again.get(), address);
    EXPECT_EQ(again->oledData(), QByteArray(KCLumivoxImage::OledDataSize, '\0'));
}

TEST(KCLumivoxImagePool, CopiesAndOrdinaryPicturesStayOutOfThePool)
{
    auto pooled = KCLumivoxImage::blackImage();
    const std::size_t size = KCLumivoxImage::poolSize();
    const std::size_t free = KCLumivoxImage::freePoolCount();
    {
        auto copy = std::make_shared<KCLumivoxImage>(*pooled);
        EXPECT_FALSE(copy->belongsToPool());
        auto ordinary = KCLumivoxImage::create(solidImage(Qt::red));
        EXPECT_FALSE(ordinary->belongsToPool());
    }
    EXPECT_EQ(KCLumivoxImage::freePoolCount(), free);

    // A picture pushed by hand joins the pool.
    KCLumivoxImage::push(std::make_unique<KCLumivoxImage>(solidImage(Qt::red)));
    EXPECT_EQ(KCLumivoxImage::poolSize(), size + 1);
    EXPECT_EQ(KCLumivoxImage::freePoolCount(), free + 1);
    EXPECT_EQ(KCLumivoxImage::blackImage()->oledData(), QByteArray(KCLumivoxImage::OledDataSize, '\0'));
}

} // namespace
