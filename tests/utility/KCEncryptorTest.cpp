#include "KCEncryptor.h"

#include <gtest/gtest.h>

#include "TestPrinters.h"

using brevona::KCEncryptor;
using brevona::test::RowName;

namespace {

struct ScrambleRow
{
    const char *name;
    QString plain;
    QString scrambled;
};

// Vectors computed independently of this code (byte-wise XOR with the fixed key, "%02x").
// clang-format off
const ScrambleRow kVectors[] = {
    {.name = "Empty", .plain = "", .scrambled = ""},
    {.name = "ThreeCharacters", .plain = "abc", .scrambled = "29135b"},
    {.name = "LongerThanKey", .plain = "The quick brown fox jumps over the lazy dog", .scrambled = "1c195d740b3904005876002001413e572d0b4a780c2c1e49344a2a175227680550315a200c194a76063d09"},
    // The key character itself scrambles to zero, which must not end the text.
    {.name = "CharacterEqualToKey", .plain = "xqz", .scrambled = "300042"},
    // Above Latin-1 only the low byte is kept.
    {.name = "AboveLatin1", .plain = QStringLiteral("\u20ac"), .scrambled = "e4"},
};
// clang-format on

class KCEncryptorVectorTest : public testing::TestWithParam<ScrambleRow>
{
};

TEST_P(KCEncryptorVectorTest, ScramblesAndUnscramblesKnownVector)
{
    EXPECT_EQ(KCEncryptor::encryptString(GetParam().plain), GetParam().scrambled);
    if (!GetParam().plain.contains(QChar(0x20AC))) {
        EXPECT_EQ(KCEncryptor::decryptString(GetParam().scrambled), GetParam().plain);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, KCEncryptorVectorTest, testing::ValuesIn(kVectors), RowName());

// Damaged or hostile scrambled texts are read as far as they parse.
struct UnscrambleRow
{
    const char *name;
    QString input;
    QString expected;
};

const UnscrambleRow kUnscrambleRows[] = {
    {.name = "OddLengthDropsTrailingDigit", .input = "29135", .expected = "ab"},
    {.name = "HalfHexPairEndsText", .input = "291g5b", .expected = "a"},
    {.name = "UpperCaseDigits", .input = "29135B", .expected = "abc"},
    {.name = "NonLatin1CharacterEndsText", .input = QStringLiteral("2913\u20ac5b"), .expected = "ab"},
    {.name = "SpacesAreNotDigits", .input = " 29135b", .expected = ""},
};

class KCEncryptorUnscrambleTest : public testing::TestWithParam<UnscrambleRow>
{
};

TEST_P(KCEncryptorUnscrambleTest, ReadsAsFarAsItParses)
{
    EXPECT_EQ(KCEncryptor::decryptString(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, KCEncryptorUnscrambleTest, testing::ValuesIn(kUnscrambleRows), RowName());

} // namespace
