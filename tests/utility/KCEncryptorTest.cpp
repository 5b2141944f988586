#include "KCEncryptor.h"

#include <string>

#include <gtest/gtest.h>

using brevona::KCEncryptor;

namespace {

struct ScrambleCase
{
    const char *name;
    QString plain;
    QString scrambled;
};

// Vectors computed independently of this code (byte-wise XOR with the fixed key, "%02x").
const ScrambleCase kVectors[] = {
    {"Empty", QString(), QString()},
    {"OneCharacter", QStringLiteral("a"), QStringLiteral("29")},
    {"ThreeCharacters", QStringLiteral("abc"), QStringLiteral("29135b")},
    {"Password", QStringLiteral("Secret password!"), QStringLiteral("1b145b261f384d135225112501443456")},
    {"LongerThanKey", QStringLiteral("The quick brown fox jumps over the lazy dog"),
     QStringLiteral(
         "1c195d740b3904005876002001413e572d0b4a780c2c1e49344a2a175227680550315a200c194a76063d09")},
    {"Latin1", QStringLiteral("\u00e9"), QStringLiteral("a1")},
};

class KCEncryptorVectorTest : public testing::TestWithParam<ScrambleCase>
{
};

TEST_P(KCEncryptorVectorTest, ScramblesAndUnscramblesKnownVector)
{
    const ScrambleCase &c = GetParam();
    EXPECT_EQ(KCEncryptor::encryptString(c.plain), c.scrambled);
    EXPECT_EQ(KCEncryptor::decryptString(c.scrambled), c.plain);
}

INSTANTIATE_TEST_SUITE_P(Vectors, KCEncryptorVectorTest, testing::ValuesIn(kVectors),
                         [](const auto &info) { return std::string(info.param.name); });

struct UnscrambleCase
{
    const char *name;
    QString input;
    QString expected;
};

// Damaged or hostile scrambled texts are read as far as they parse.
const UnscrambleCase kUnscrambleCases[] = {
    {"OddLengthDropsTrailingDigit", QStringLiteral("29135"), QStringLiteral("ab")},
    {"SingleDigit", QStringLiteral("2"), QString()},
    {"NonHexPairEndsText", QStringLiteral("29zz5b"), QStringLiteral("a")},
    {"HalfHexPairEndsText", QStringLiteral("291g5b"), QStringLiteral("a")},
    {"UpperCaseDigits", QStringLiteral("29135B"), QStringLiteral("abc")},
    {"EmbeddedNulEndsText", QStringLiteral("2913") + QChar(0) + QStringLiteral("5b"), QStringLiteral("ab")},
    {"NonLatin1CharacterEndsText", QStringLiteral("2913\u20ac5b"), QStringLiteral("ab")},
    {"ZeroByteEndsText", QStringLiteral("29") + QStringLiteral("71") + QStringLiteral("5b"),
     QStringLiteral("a")},
    {"SpacesAreNotDigits", QStringLiteral(" 29135b"), QString()},
    {"WhitespaceOnly", QStringLiteral("   "), QString()},
};

class KCEncryptorUnscrambleTest : public testing::TestWithParam<UnscrambleCase>
{
};

TEST_P(KCEncryptorUnscrambleTest, ReadsAsFarAsItParses)
{
    const UnscrambleCase &c = GetParam();
    EXPECT_EQ(KCEncryptor::decryptString(c.input), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Damaged, KCEncryptorUnscrambleTest, testing::ValuesIn(kUnscrambleCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(KCEncryptorTest, PrintableAsciiRoundTripsOverManyKeyPeriods)
{
    // Every printable character at many key positions, including the positions where it equals
    // the key character and so scrambles to "00".
    QString plain;
    for (int round = 0; round < 3; ++round) {
        for (char16_t c = 0x20; c < 0x7F; ++c)
            plain.append(QChar(c));
    }
    const QString scrambled = KCEncryptor::encryptString(plain);
    EXPECT_EQ(scrambled.size(), plain.size() * 2);
    EXPECT_EQ(KCEncryptor::decryptString(scrambled), plain);
}

TEST(KCEncryptorTest, CharacterEqualToKeyCharacterSurvives)
{
    // 'q' is the key character at position 1, 'H' at positions 0 and 30: their scrambled
    // value is zero, which must not be taken for the end of the text.
    EXPECT_EQ(KCEncryptor::encryptString(QStringLiteral("xqz")), QStringLiteral("300042"));
    EXPECT_EQ(KCEncryptor::decryptString(QStringLiteral("300042")), QStringLiteral("xqz"));
    const QString wraps = QString(30, QLatin1Char('.')) + QStringLiteral("H.");
    EXPECT_EQ(KCEncryptor::decryptString(KCEncryptor::encryptString(wraps)), wraps);
}

TEST(KCEncryptorTest, NulCharacterEndsUnscrambledText)
{
    const QString withNul = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
    EXPECT_EQ(KCEncryptor::decryptString(KCEncryptor::encryptString(withNul)), QStringLiteral("ab"));
    // U+0100 keeps only its zero low byte.
    const QString withHighNul = QStringLiteral("abĀcd");
    EXPECT_EQ(KCEncryptor::decryptString(KCEncryptor::encryptString(withHighNul)), QStringLiteral("ab"));
}

TEST(KCEncryptorTest, CharacterAboveLatin1KeepsOnlyLowBits)
{
    const QString scrambled = KCEncryptor::encryptString(QStringLiteral("\u20ac"));
    EXPECT_EQ(scrambled, QStringLiteral("e4"));
    EXPECT_EQ(KCEncryptor::decryptString(scrambled), QStringLiteral("\u00ac"));
}

} // namespace
