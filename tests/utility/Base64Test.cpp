#include "Base64.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "TestPrinters.h"

using brevona::Base64;
using brevona::test::RowName;

namespace {

struct Rfc4648Row
{
    const char *name;
    const char *plain;
    const char *encoded;
};

// RFC 4648, section 10.
const Rfc4648Row kRfc4648[] = {
    {.name = "empty", .plain = "", .encoded = ""},
    {.name = "f", .plain = "f", .encoded = "Zg=="},
    {.name = "fo", .plain = "fo", .encoded = "Zm8="},
    {.name = "foo", .plain = "foo", .encoded = "Zm9v"},
};

class Base64RfcTest : public testing::TestWithParam<Rfc4648Row>
{
};

TEST_P(Base64RfcTest, EncodesAndDecodesTestVector)
{
    const QByteArray plain(GetParam().plain);
    const QString encoded = QString::fromLatin1(GetParam().encoded);
    EXPECT_EQ(Base64::base64EncodingWithLineLength(plain, 0), encoded);
    EXPECT_EQ(Base64::dataWithBase64EncodedString(encoded), plain);
}

INSTANTIATE_TEST_SUITE_P(Rows, Base64RfcTest, testing::ValuesIn(kRfc4648), RowName());

struct LineRow
{
    const char *name;
    int bytes;
    unsigned lineLength;
    const char *lines; // characters per line, in order
    bool endsWithLineFeed;
};

// clang-format off
const LineRow kLineRows[] = {
    {.name = "NoBreaks", .bytes = 100, .lineLength = 0, .lines = "136", .endsWithLineFeed = false},
    {.name = "OneFullLine", .bytes = 48, .lineLength = 64, .lines = "64", .endsWithLineFeed = true},
    {.name = "FullLinePlusOneGroup", .bytes = 49, .lineLength = 64, .lines = "64 4", .endsWithLineFeed = false},
    {.name = "PaddedGroupCompletesLine", .bytes = 47, .lineLength = 64, .lines = "64", .endsWithLineFeed = true},
    {.name = "RoundsUpShortLastLine", .bytes = 15, .lineLength = 6, .lines = "8 8 4", .endsWithLineFeed = false},
    {.name = "EmptyInput", .bytes = 0, .lineLength = 64, .lines = "", .endsWithLineFeed = false},
};
// clang-format on

class Base64LineTest : public testing::TestWithParam<LineRow>
{
};

TEST_P(Base64LineTest, BreaksLinesAfterGroups)
{
    const LineRow &row = GetParam();
    QByteArray data;
    for (int i = 0; i < row.bytes; ++i)
        data.append(static_cast<char>(i * 37 + 11));

    const QString encoded = Base64::base64EncodingWithLineLength(data, row.lineLength);
    EXPECT_EQ(QString(encoded).remove('\n'), QString::fromLatin1(data.toBase64()));
    EXPECT_EQ(encoded.endsWith('\n'), row.endsWithLineFeed);
    QStringList lengths;
    for (const QString &line : encoded.split('\n', Qt::SkipEmptyParts))
        lengths.append(QString::number(line.size()));
    EXPECT_EQ(lengths.join(' '), QLatin1String(row.lines));
    EXPECT_EQ(Base64::dataWithBase64EncodedString(encoded), data);
}

INSTANTIATE_TEST_SUITE_P(Rows, Base64LineTest, testing::ValuesIn(kLineRows), RowName());

// The reader is lenient the way stored settings rely on: whatever is no Base64 character is
// skipped, the first pad ends the text, an incomplete last group gives what it can.
struct DecodeRow
{
    const char *name;
    QString input;
    QByteArray expected;
};

const DecodeRow kDecodeRows[] = {
    {.name = "PadOnly", .input = "=", .expected = ""},
    {.name = "ThreeValuesAtEndDropped", .input = "Zm8", .expected = ""},
    {.name = "SingleValueAndPad", .input = "Z=", .expected = "d"},
    {.name = "FirstPadEndsInput", .input = "Zg==Zm9v", .expected = "f"},
    {.name = "SpacesAndBreaksSkipped", .input = " Zm\r\n9v Ym Fy ", .expected = "foobar"},
    {.name = "UrlSafeCharactersSkipped", .input = "-_Zm9v", .expected = "foo"},
    {.name = "HighBytes", .input = "////", .expected = QByteArray(3, '\xff')},
};

class Base64DecodeTest : public testing::TestWithParam<DecodeRow>
{
};

TEST_P(Base64DecodeTest, DecodesLeniently)
{
    EXPECT_EQ(Base64::dataWithBase64EncodedString(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Base64DecodeTest, testing::ValuesIn(kDecodeRows), RowName());

TEST(Base64Test, EncodeWritesUtf8InLinesOf64)
{
    // 16 three-byte characters: 48 UTF-8 bytes, exactly one line.
    const QString text(16, QChar(0x20AC));
    const QString encoded = Base64::encode(text);
    EXPECT_EQ(encoded.size(), 65);
    EXPECT_TRUE(encoded.endsWith(QLatin1Char('\n')));
    EXPECT_EQ(Base64::dataWithBase64EncodedString(encoded), text.toUtf8());
}

TEST(Base64Test, DecodeReadsBytesAsLatin1)
{
    EXPECT_EQ(Base64::decode(QStringLiteral("Zm9vYmFy")), QStringLiteral("foobar"));
    EXPECT_EQ(Base64::decode(QStringLiteral("6Q==")), QStringLiteral("\u00e9"));
    EXPECT_EQ(Base64::decode(QString()), QString());
}

} // namespace
