#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "PackageSignature.h"
#include "TestPrinters.h"
#include "TestSigningKey.h"

using namespace brevona;

namespace {

enum class Signature
{
    Good,
    GoodBase64,
    Truncated,
};

struct SignatureRow
{
    const char *name;
    QByteArray package;
    Signature signature;
    bool tamper;         // a byte of the package changes after signing
    bool releaseKey;     // checked against the release key: a key other than the signer's
    const char *refusal; // nullptr: accepted
};

class PackageSignatures : public testing::TestWithParam<SignatureRow>
{
};

// Checked in memory and from a file (the installation's path): both must agree.
TEST_P(PackageSignatures, AcceptOnlyTheKeysOwnSignature)
{
    const SignatureRow &row = GetParam();
    test::TestSigningKey key;
    QByteArray signature;
    switch (row.signature) {
    case Signature::Good:
        signature = key.sign(row.package);
        break;
    case Signature::GoodBase64:
        signature = key.sign(row.package).toBase64() + '\n';
        break;
    case Signature::Truncated:
        signature = key.sign(row.package).left(63);
        break;
    }
    QByteArray package = row.package;
    if (row.tamper)
        package[package.size() / 2] = static_cast<char>(package.at(package.size() / 2) ^ 1);
    const QByteArray publicKey = row.releaseKey ? PackageSignature::releasePublicKey() : key.publicKey();

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("package.tgz"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(package);
    file.close();

    const QString inMemory = PackageSignature::refusal(package, signature, publicKey);
    const QString fromFile = PackageSignature::refusalForFile(path, signature, publicKey);
    EXPECT_EQ(inMemory, fromFile);
    EXPECT_EQ(inMemory, row.refusal ? QString::fromUtf8(row.refusal) : QString());
}

const QByteArray kPackage = QByteArray("brevona package ").repeated(1000);
constexpr const char *kMismatch = "the package's signature does not match the release key";
constexpr const char *kMalformed = "the signature is not a 64-byte Ed25519 signature";

// clang-format off
const SignatureRow kSignatureRows[] = {
    {.name = "Good",           .package = kPackage, .signature = Signature::Good,       .tamper = false, .releaseKey = false, .refusal = nullptr},
    {.name = "GoodAsBase64",   .package = kPackage, .signature = Signature::GoodBase64, .tamper = false, .releaseKey = false, .refusal = nullptr},
    {.name = "Tampered",       .package = kPackage, .signature = Signature::Good,       .tamper = true,  .releaseKey = false, .refusal = kMismatch},
    {.name = "OtherKey", .package = kPackage, .signature = Signature::Good,     .tamper = false, .releaseKey = true,  .refusal = kMismatch},
    {.name = "Truncated",      .package = kPackage, .signature = Signature::Truncated,  .tamper = false, .releaseKey = false, .refusal = kMalformed},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, PackageSignatures, testing::ValuesIn(kSignatureRows), test::RowName());

TEST(PackageSignatures, MissingFileIsRefused)
{
    test::TestSigningKey key;
    EXPECT_TRUE(PackageSignature::refusalForFile(QStringLiteral("/nonexistent/package"), key.sign("x"),
                                                 key.publicKey())
                    .startsWith(QLatin1String("the package cannot be read")));
}

} // namespace
