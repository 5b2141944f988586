#include "SSCrypto.h"

#include <climits>
#include <memory>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "Logging.h"

namespace brevona {

namespace {

constexpr int kBlockSize = 16;
// EVP lengths are int; leave room for the padding block.
constexpr qsizetype kMaximumInput = INT_MAX - 2 * kBlockSize;

struct ContextDeleter
{
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

} // namespace

SSCrypto::SSCrypto(const QByteArray &keyText)
{
    const int keyLength = EVP_BytesToKey(EVP_aes_128_cbc(), EVP_md5(), nullptr,
                                         reinterpret_cast<const unsigned char *>(keyText.constData()),
                                         static_cast<int>(keyText.size()), 1, m_key, m_iv);
    m_valid = keyLength == kBlockSize;
    if (!m_valid)
        qCWarning(lcShared, "Cipher key derivation failed");
}

SSCrypto::~SSCrypto()
{
    OPENSSL_cleanse(m_key, sizeof m_key);
    OPENSSL_cleanse(m_iv, sizeof m_iv);
}

std::optional<QByteArray> SSCrypto::encrypt(const QByteArray &plain) const
{
    if (!m_valid || plain.size() > kMaximumInput)
        return std::nullopt;
    Context context(EVP_CIPHER_CTX_new());
    if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, m_key, m_iv) != 1)
        return std::nullopt;
    QByteArray out(plain.size() + kBlockSize, Qt::Uninitialized);
    auto *outBytes = reinterpret_cast<unsigned char *>(out.data());
    int written = 0;
    int finalWritten = 0;
    if (EVP_EncryptUpdate(context.get(), outBytes, &written,
                          reinterpret_cast<const unsigned char *>(plain.constData()),
                          static_cast<int>(plain.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), outBytes + written, &finalWritten) != 1)
        return std::nullopt;
    out.resize(written + finalWritten);
    return out;
}

std::optional<QByteArray> SSCrypto::decrypt(const QByteArray &cipher) const
{
    // CBC with padding always yields whole blocks, at least one.
    if (!m_valid || cipher.isEmpty() || cipher.size() % kBlockSize != 0 || cipher.size() > kMaximumInput)
        return std::nullopt;
    Context context(EVP_CIPHER_CTX_new());
    if (!context || EVP_DecryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, m_key, m_iv) != 1)
        return std::nullopt;
    QByteArray out(cipher.size() + kBlockSize, Qt::Uninitialized);
    auto *outBytes = reinterpret_cast<unsigned char *>(out.data());
    int written = 0;
    int finalWritten = 0;
    if (EVP_DecryptUpdate(context.get(), outBytes, &written,
                          reinterpret_cast<const unsigned char *>(cipher.constData()),
                          static_cast<int>(cipher.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), outBytes + written, &finalWritten) != 1) {
        OPENSSL_cleanse(out.data(), out.size());
        return std::nullopt;
    }
    out.resize(written + finalWritten);
    return out;
}

} // namespace brevona
