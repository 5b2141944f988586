#include "PackageSignature.h"

#include <memory>
#include <optional>

#include <QFile>

#include <openssl/evp.h>

namespace brevona {

namespace {

// The public half of the Brevona release key (Ed25519). The private half is kept by whoever signs
// releases and is never part of the sources.
constexpr unsigned char kReleasePublicKey[PackageSignature::kPublicKeyBytes] = {
    0xce, 0x8f, 0x36, 0x44, 0x52, 0x97, 0x69, 0x54, 0x3f, 0xee, 0xd6, 0xe8, 0xeb, 0x45, 0xbe, 0x07,
    0xfd, 0x81, 0x2d, 0xe2, 0xb3, 0x78, 0x42, 0x5c, 0x04, 0xd3, 0xd5, 0x6b, 0x87, 0x76, 0x79, 0xb4};

struct KeyFree
{
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct ContextFree
{
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

std::optional<QByteArray> rawSignature(const QByteArray &signature)
{
    if (signature.size() == PackageSignature::kSignatureBytes)
        return signature;
    // Base64 text of the 64 bytes: 88 characters, perhaps with a line end.
    const QByteArray text = signature.trimmed();
    if (text.size() > 100)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != PackageSignature::kSignatureBytes)
        return std::nullopt;
    return decoded.decoded;
}

QString verify(const unsigned char *package, size_t size, const QByteArray &signature,
               const QByteArray &publicKey)
{
    const std::optional<QByteArray> raw = rawSignature(signature);
    if (!raw)
        return QStringLiteral("the signature is not a 64-byte Ed25519 signature");
    if (publicKey.size() != PackageSignature::kPublicKeyBytes)
        return QStringLiteral("the public key is not a 32-byte Ed25519 key");
    const std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char *>(publicKey.constData()),
        static_cast<size_t>(publicKey.size())));
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return QStringLiteral("the signature cannot be checked (OpenSSL has no Ed25519)");
    static const unsigned char empty = 0;
    const int verdict =
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(raw->constData()),
                         static_cast<size_t>(raw->size()), package ? package : &empty, size);
    if (verdict != 1)
        return QStringLiteral("the package's signature does not match the release key");
    return {};
}

} // namespace

QByteArray PackageSignature::releasePublicKey()
{
    return QByteArray(reinterpret_cast<const char *>(kReleasePublicKey), sizeof(kReleasePublicKey));
}

QString PackageSignature::refusalForFile(const QString &path, const QByteArray &signature,
                                         const QByteArray &publicKey)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the package cannot be read: %1").arg(file.errorString());
    if (file.size() == 0)
        return verify(nullptr, 0, signature, publicKey);
    const uchar *mapped = file.map(0, file.size());
    if (!mapped)
        return QStringLiteral("the package cannot be read: %1").arg(file.errorString());
    const QString result = verify(mapped, static_cast<size_t>(file.size()), signature, publicKey);
    file.unmap(const_cast<uchar *>(mapped));
    return result;
}

} // namespace brevona
