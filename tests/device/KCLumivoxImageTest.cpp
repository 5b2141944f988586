#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <QPainter>

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "KCLumivoxImage.h"
#include "Rgb565Codec.h"

using namespace brevona;
using namespace brevona::test;

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

struct ColourCase
{
    const char *name;
    QColor colour;
    int byte0;
    int byte1;
};

class ColourEncodingTest : public ::testing::TestWithParam<ColourCase>
{
};

TEST_P(ColourEncodingTest, EveryPixelPacksToTheSameTwoBytes)
{
    KCLumivoxImage picture(solidImage(GetParam().colour));
    EXPECT_EQ(picture.oledData(), pixelBytes(GetParam().byte0, GetParam().byte1));
}

INSTANTIATE_TEST_SUITE_P(
    Colours, ColourEncodingTest,
    ::testing::Values(
        ColourCase{"black", QColor(0, 0, 0), 0x00, 0x00},
        ColourCase{"white", QColor(255, 255, 255), 0xFF, 0xFF},
        ColourCase{"red", QColor(255, 0, 0), 0xF8, 0x00}, ColourCase{"green", QColor(0, 255, 0), 0x07, 0xE0},
        ColourCase{"blue", QColor(0, 0, 255), 0x00, 0x1F}, ColourCase{"green5", QColor(0, 5, 0), 0x00, 0x00},
        ColourCase{"green7", QColor(0, 7, 0), 0x00, 0x00}, ColourCase{"green8", QColor(0, 8, 0), 0x00, 0x40},
        ColourCase{"mixed", QColor(0x12, 0x34, 0x56), 0x11, 0xAA},
        ColourCase{"lowBitsDropped", QColor(7, 3, 7), 0x00, 0x00},
        // Alpha is not shown: a pixel shows its colour over black.
        ColourCase{"halfTransparentRed", QColor(255, 0, 0, 128), 0x80, 0x00},
        ColourCase{"transparentWhite", QColor(255, 255, 255, 0), 0x00, 0x00}),
    [](const auto &info) { return std::string(info.param.name); });

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

INSTANTIATE_TEST_SUITE_P(Seeds, NoiseEncodingTest, ::testing::Values(1u, 2u, 77u, 4242u));

// --- rotation of one white pixel

struct PixelCase
{
    int x;
    int y;
    bool turned;
    int expectedOffset;
};

class SinglePixelTest : public ::testing::TestWithParam<PixelCase>
{
};

TEST_P(SinglePixelTest, LandsWhereAQuarterTurnClockwisePutsIt)
{
    QImage image = solidImage(Qt::black);
    image.setPixel(GetParam().x, GetParam().y, qRgb(255, 255, 255));
    KCLumivoxImage picture(image);
    picture.setRotateOLEDImage(GetParam().turned);
    QByteArray expected(KCLumivoxImage::OledDataSize, '\0');
    expected[GetParam().expectedOffset] = char(0xFF);
    expected[GetParam().expectedOffset + 1] = char(0xFF);
    EXPECT_EQ(picture.oledData(), expected);
}

INSTANTIATE_TEST_SUITE_P(Corners, SinglePixelTest,
                         ::testing::Values(PixelCase{0, 0, false, 0}, PixelCase{0, 0, true, 94},
                                           // top-right goes to bottom-right, bottom-left to top-left
                                           PixelCase{47, 0, true, (47 * 48 + 47) * 2},
                                           PixelCase{0, 47, true, 0}, PixelCase{47, 47, true, 47 * 48 * 2},
                                           PixelCase{10, 3, false, (3 * 48 + 10) * 2},
                                           PixelCase{10, 3, true, (10 * 48 + 44) * 2}));

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

TEST(KCLumivoxImageCache, AChangedRotationFlagIsNotServedStaleBytes)
{
    const QImage source = noiseImage(9);
    KCLumivoxImage picture(source);
    EXPECT_EQ(picture.oledData(true), referenceEncoding(source, true));
    EXPECT_EQ(picture.oledData(false), referenceEncoding(source, false));
    picture.setRotateOLEDImage(true);
    EXPECT_EQ(picture.oledData(), referenceEncoding(source, true));
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

struct InputCase
{
    const char *name;
    QImage image;
};

class InputFormatTest : public ::testing::TestWithParam<InputCase>
{
};

TEST_P(InputFormatTest, EncodesAsTheSameColourAt48x48)
{
    KCLumivoxImage picture(GetParam().image);
    EXPECT_EQ(picture.image().size(), QSize(48, 48));
    EXPECT_EQ(picture.oledData(), pixelBytes(0xF8, 0x00));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, InputFormatTest,
    ::testing::Values(InputCase{"rgb888", solidImage(Qt::red, 48, 48, QImage::Format_RGB888)},
                      InputCase{"rgba8888", solidImage(Qt::red, 48, 48, QImage::Format_RGBA8888)},
                      InputCase{"argb32", solidImage(Qt::red, 48, 48, QImage::Format_ARGB32)},
                      InputCase{"rgb16", solidImage(Qt::red, 48, 48, QImage::Format_RGB16)},
                      InputCase{"indexed8", solidImage(Qt::red, 48, 48, QImage::Format_Indexed8)},
                      InputCase{"retina", solidImage(Qt::red, 96, 96)},
                      InputCase{"tiny", solidImage(Qt::red, 1, 1)},
                      InputCase{"wide", solidImage(Qt::red, 1312, 376)}),
    [](const auto &info) { return std::string(info.param.name); });

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
    EXPECT_TRUE(red.isEqual(red));
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

// --- threads

TEST(KCLumivoxImageThreads, EncodingWhileAnotherThreadDrawsSeesWholeDrawings)
{
    auto picture = KCLumivoxImage::create(solidImage(Qt::red));
    const QByteArray red = pixelBytes(0xF8, 0x00);
    const QByteArray blue = pixelBytes(0x00, 0x1F);
    std::atomic<bool> done{false};
    std::thread painter([&] {
        for (int i = 0; i < 300; ++i) {
            auto focus = picture->lockFocus();
            focus.painter().fillRect(0, 0, 48, 48, i % 2 ? Qt::red : Qt::blue);
        }
        done = true;
    });
    int torn = 0;
    while (!done) {
        const QByteArray bytes = picture->oledData();
        torn += (bytes != red && bytes != blue) ? 1 : 0;
    }
    painter.join();
    EXPECT_EQ(torn, 0);
}

} // namespace
