#include "Base64.h"

#include <random>
#include <string>

#include <gtest/gtest.h>

#include <QStringList>

using brevona::Base64;

namespace {

struct Rfc4648Case
{
    const char *plain;
    const char *encoded;
};

// RFC 4648, section 10.
const Rfc4648Case kRfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

class Base64RfcTest : public testing::TestWithParam<Rfc4648Case>
{
};

TEST_P(Base64RfcTest, EncodesAndDecodesTestVector)
{
    const QByteArray plain(GetParam().plain);
    const QString encoded = QString::fromLatin1(GetParam().encoded);
    EXPECT_EQ(Base64::base64EncodingWithLineLength(plain, 0), encoded);
    EXPECT_EQ(Base64::dataWithBase64EncodedString(encoded), plain);
}

INSTANTIATE_TEST_SUITE_P(Rfc4648, Base64RfcTest, testing::ValuesIn(kRfc4648));

struct LineCase
{
    const char *name;
    int byteCount;
    unsigned lineLength;
    QList<int> lineLengths; // characters per line, in order
    bool endsWithLineFeed;
};

const LineCase kLineCases[] = {
    {"NoBreaks", 100, 0, {136}, false},
    {"OneFullLine", 48, 64, {64}, true},
    {"FullLinePlusOneGroup", 49, 64, {64, 4}, false},
    {"ShortOfOneLine", 45, 64, {60}, false},
    {"TwoFullLines", 96, 64, {64, 64}, true},
    {"PaddedGroupCompletesLine", 47, 64, {64}, true},
    {"RoundsUpToMultipleOfFour", 12, 5, {8, 8}, true},
    {"RoundsUpWithShortLastLine", 15, 6, {8, 8, 4}, false},
    {"LengthOneBreaksEveryGroup", 9, 1, {4, 4, 4}, true},
    {"LengthFourBreaksEveryGroup", 4, 4, {4, 4}, true},
    {"LineLongerThanText", 3, 76, {4}, false},
    {"EmptyInput", 0, 64, {}, false},
};

class Base64LineTest : public testing::TestWithParam<LineCase>
{
};

TEST_P(Base64LineTest, BreaksLinesAfterGroups)
{
    const LineCase &c = GetParam();
    QByteArray data;
    for (int i = 0; i < c.byteCount; ++i)
        data.append(static_cast<char>(i * 37 + 11));

    const QString encoded = Base64::base64EncodingWithLineLength(data, c.lineLength);
    QString joined = encoded;
    joined.remove(QLatin1Char('\n'));
    EXPECT_EQ(joined, QString::fromLatin1(data.toBase64()));
    EXPECT_EQ(encoded.endsWith(QLatin1Char('\n')), c.endsWithLineFeed);

    QList<int> lengths;
    for (const QString &line : encoded.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lengths.append(static_cast<int>(line.size()));
    EXPECT_EQ(lengths, c.lineLengths);
    EXPECT_EQ(Base64::dataWithBase64EncodedString(encoded), data);
}

INSTANTIATE_TEST_SUITE_P(Lines, Base64LineTest, testing::ValuesIn(kLineCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct DecodeCase
{
    const char *name;
    QString input;
    QByteArray expected;
};

const DecodeCase kDecodeCases[] = {
    {"NullString", QString(), QByteArray()},
    {"PadOnly", QStringLiteral("="), QByteArray()},
    {"ThreeValuesAndPad", QStringLiteral("Zm8="), QByteArray("fo")},
    {"ThreeValuesAtEndDropped", QStringLiteral("Zm8"), QByteArray()},
    {"TrailingShortGroupDropped", QStringLiteral("Zm9vYg"), QByteArray("foo")},
    {"SingleValueAndPadGivesOneByte", QStringLiteral("Z="), QByteArray("d")},
    {"TwoValuesSinglePad", QStringLiteral("Zg="), QByteArray("f")},
    {"FirstPadEndsInput", QStringLiteral("Zg==Zm9v"), QByteArray("f")},
    {"PadAfterCompleteGroup", QStringLiteral("Zm9v=Zm9v"), QByteArray("foo")},
    {"LineFeedsIgnored", QStringLiteral("Zm9v\nYmFy\n"), QByteArray("foobar")},
    {"CarriageReturnsAndSpacesSkipped", QStringLiteral(" Zm\r\n9v Ym Fy "), QByteArray("foobar")},
    {"PunctuationSkipped", QStringLiteral("Zm9v*Ym!F-y"), QByteArray("foobar")},
    {"NonAsciiSkipped", QStringLiteral("Zm\u00e99v\u20acYmFy"), QByteArray("foobar")},
    {"UrlSafeCharactersSkipped", QStringLiteral("-_Zm9v"), QByteArray("foo")},
    {"ZeroBytes", QStringLiteral("AAAA"), QByteArray(3, '\0')},
    {"HighBytes", QStringLiteral("////"), QByteArray(3, '\xff')},
};

class Base64DecodeTest : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(Base64DecodeTest, DecodesLeniently)
{
    EXPECT_EQ(Base64::dataWithBase64EncodedString(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Decoding, Base64DecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Base64Test, AlphabetMembershipExcludesPad)
{
    const QByteArray alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    int members = 0;
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        EXPECT_EQ(Base64::isCharacterPartOfBase64Encoding(c), alphabet.contains(c)) << i;
        members += Base64::isCharacterPartOfBase64Encoding(c) ? 1 : 0;
    }
    EXPECT_EQ(members, 64);
}

TEST(Base64Test, EncodeWritesUtf8InLinesOf64)
{
    // 16 three-byte characters: 48 UTF-8 bytes, exactly one line.
    const QString text(16, QChar(0x20AC));
    const QString encoded = Base64::encode(text);
    EXPECT_EQ(encoded.size(), 65);
    EXPECT_TRUE(encoded.endsWith(QLatin1Char('\n')));
    EXPECT_EQ(Base64::dataWithBase64EncodedString(encoded), text.toUtf8());

    const QString longer = QStringLiteral("Gr\u00fc\u00dfe aus dem Plugin, ").repeated(8);
    const QStringList lines = Base64::encode(longer).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines.at(i).size(), 64);
    EXPECT_EQ(Base64::dataWithBase64EncodedString(Base64::encode(longer)), longer.toUtf8());
}

TEST(Base64Test, DecodeReadsBytesAsLatin1)
{
    EXPECT_EQ(Base64::decode(QStringLiteral("Zm9vYmFy")), QStringLiteral("foobar"));
    EXPECT_EQ(Base64::decode(QStringLiteral("6Q==")), QStringLiteral("\u00e9"));
    EXPECT_EQ(Base64::decode(QString()), QString());
}

TEST(Base64Test, MatchesQtOnRandomInput)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> size(0, 400);
    std::uniform_int_distribution<unsigned> lineLength(0, 90);
    for (int round = 0; round < 500; ++round) {
        QByteArray data(size(random), Qt::Uninitialized);
        for (char &c : data)
            c = static_cast<char>(byte(random));
        const QString plainText = Base64::base64EncodingWithLineLength(data, 0);
        ASSERT_EQ(plainText, QString::fromLatin1(data.toBase64())) << round;
        ASSERT_EQ(Base64::dataWithBase64EncodedString(plainText), data) << round;
        ASSERT_EQ(QByteArray::fromBase64(plainText.toLatin1()), data) << round;

        const QString wrapped = Base64::base64EncodingWithLineLength(data, lineLength(random));
        ASSERT_EQ(Base64::dataWithBase64EncodedString(wrapped), data) << round;
    }
}

} // namespace
