// The display encoding, both directions, with the rules the keyboard depends on.

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include "Rgb565Codec.h"

using brevona::Rgb565Codec;

namespace {

QImage filled(QColor colour)
{
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A picture no quarter turn maps onto itself: every pixel different.
QImage noisePicture(quint32 seed)
{
    QImage image(48, 48, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            image.setPixel(x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    return image;
}

int largestChannelError(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

struct Colour
{
    QColor colour;
    quint8 high, low;
};

class EncodedColour : public testing::TestWithParam<Colour>
{
};

TEST_P(EncodedColour, FillsEveryPixel)
{
    const QByteArray bytes = Rgb565Codec::encode(filled(GetParam().colour), false);
    ASSERT_EQ(bytes.size(), 4608);
    for (int i = 0; i < bytes.size(); i += 2) {
        ASSERT_EQ(static_cast<quint8>(bytes[i]), GetParam().high) << i;
        ASSERT_EQ(static_cast<quint8>(bytes[i + 1]), GetParam().low) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, EncodedColour,
                         testing::Values(Colour{Qt::white, 0xFF, 0xFF}, Colour{Qt::black, 0x00, 0x00},
                                         Colour{QColor(255, 0, 0), 0xF8, 0x00},
                                         Colour{QColor(0, 255, 0), 0x07, 0xE0},
                                         Colour{QColor(0, 0, 255), 0x00, 0x1F},
                                         Colour{QColor(0, 7, 0), 0x00, 0x00},
                                         Colour{QColor(0, 8, 0), 0x00, 0x40}));

TEST(Rgb565Codec, TurnedPictureStartsAtTheTopRight)
{
    QImage picture = filled(Qt::black);
    picture.setPixel(0, 0, qRgb(255, 255, 255));
    const QByteArray upright = Rgb565Codec::encode(picture, false);
    EXPECT_EQ(upright.mid(0, 2), QByteArray("\xFF\xFF", 2));
    const QByteArray turned = Rgb565Codec::encode(picture, true);
    EXPECT_EQ(turned.mid(94, 2), QByteArray("\xFF\xFF", 2));
    EXPECT_EQ(turned.count('\xFF'), 2);
    // Next along the top row of the picture goes down the right edge of the display.
    picture.setPixel(1, 0, qRgb(255, 0, 0));
    EXPECT_EQ(Rgb565Codec::encode(picture, true).mid((1 * 48 + 47) * 2, 2), QByteArray("\xF8\x00", 2));
}

TEST(Rgb565Codec, DecodingGivesThePictureBackWithinItsPrecision)
{
    for (const bool turned : {false, true}) {
        const QImage picture = noisePicture(turned ? 7 : 3);
        const auto decoded = Rgb565Codec::decode(Rgb565Codec::encode(picture, turned), turned);
        ASSERT_TRUE(decoded);
        // Five or six bits keep a channel within 7 of its value, the dropped green levels too.
        EXPECT_LE(largestChannelError(picture, *decoded), 7) << turned;
        // Decoding with the wrong orientation does not give the picture.
        const auto wrong = Rgb565Codec::decode(Rgb565Codec::encode(picture, turned), !turned);
        EXPECT_GT(largestChannelError(picture, *wrong), 100) << turned;
    }
}

TEST(Rgb565Codec, PureColoursSurviveExactly)
{
    for (const QColor colour : {QColor(Qt::white), QColor(Qt::black), QColor(255, 0, 0), QColor(0, 255, 0)}) {
        const auto decoded = Rgb565Codec::decode(Rgb565Codec::encode(filled(colour), false), false);
        EXPECT_EQ(decoded->pixel(17, 30), colour.rgb()) << colour.name().toStdString();
    }
}

TEST(Rgb565Codec, RefusesFilesOfAnotherSize)
{
    EXPECT_FALSE(Rgb565Codec::decode(QByteArray(4607, '\0'), false));
    EXPECT_FALSE(Rgb565Codec::decode(QByteArray(4609, '\0'), false));
}

TEST(Rgb565Codec, TakesPremultipliedValuesAndScalesOtherSizes)
{
    QImage translucent(48, 48, QImage::Format_ARGB32);
    translucent.fill(qRgba(255, 255, 255, 128));
    // Half-transparent white is held as grey 128 in a premultiplied bitmap.
    EXPECT_EQ(Rgb565Codec::encode(translucent, false).mid(0, 2), QByteArray("\x84\x10", 2));
    EXPECT_EQ(Rgb565Codec::encode(filled(Qt::white).scaled(96, 96), false),
              Rgb565Codec::encode(filled(Qt::white), false));
}

} // namespace
