#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <gtest/gtest.h>

#include "SSCrypto.h"
#include "TestPrinters.h"

using brevona::SSCrypto;

namespace {

// The same construction done by the openssl command-line tool: an independent implementation of
// the key derivation and padding.
std::optional<QByteArray> opensslEnc(const QByteArray &keyText, const QByteArray &input)
{
    const QString program = QStandardPaths::findExecutable("openssl");
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, {"enc", "-aes-128-cbc", "-md", "md5", "-nosalt", "-e", "-pass",
                            QStringLiteral("pass:") + QString::fromUtf8(keyText)});
    if (!process.waitForStarted())
        return std::nullopt;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

struct CipherCase
{
    const char *name;
    QByteArray keyText;
    QByteArray plain;
};

class SSCryptoCipherTest : public ::testing::TestWithParam<CipherCase>
{
};

TEST_P(SSCryptoCipherTest, MatchesOpenSslCommandLine)
{
    if (QStandardPaths::findExecutable("openssl").isEmpty())
        GTEST_SKIP() << "openssl command-line tool not installed";
    const CipherCase &c = GetParam();
    const SSCrypto crypto(c.keyText);

    const std::optional<QByteArray> ours = crypto.encrypt(c.plain);
    ASSERT_TRUE(ours.has_value());
    // The same bytes both ways, so what either side encrypts the other decrypts.
    EXPECT_EQ(ours, opensslEnc(c.keyText, c.plain));
    EXPECT_EQ(crypto.decrypt(*ours), c.plain);
}

const CipherCase kCiphers[] = {
    {"empty_text", "C02XK1ABJGH5", ""},
    {"short", "C02XK1ABJGH5", "abc"},
    {"one_block", "3d1219c7c4c5404aaa1f6d2a48adfda4", "0123456789abcdef"},
    {"long", "k", QByteArray(1000, 'x') + QByteArray("\0\1\2", 3)},
};

INSTANTIATE_TEST_SUITE_P(Table, SSCryptoCipherTest, ::testing::ValuesIn(kCiphers), brevona::test::RowName());

TEST(SSCryptoTest, UndecryptableDataGivesNothing)
{
    const SSCrypto crypto("machine-A");
    const QByteArray sealed = *crypto.encrypt("the protected text");
    ASSERT_EQ(sealed.size(), 32);

    QByteArray lastByteFlipped = sealed;
    lastByteFlipped[31] = char(lastByteFlipped[31] ^ 0x5a);

    const QByteArray cases[] = {
        QByteArray(),         // nothing at all
        sealed.left(31),      // not whole blocks
        lastByteFlipped,      // padding destroyed
        QByteArray(16, '\0'), // a block that was never encrypted with this key
    };
    for (const QByteArray &bad : cases)
        EXPECT_FALSE(crypto.decrypt(bad).has_value()) << bad.toHex().toStdString();

    // Another key text: these fixed inputs fail the padding check under machine-B.
    EXPECT_FALSE(SSCrypto("machine-B").decrypt(sealed).has_value());
}

} // namespace
