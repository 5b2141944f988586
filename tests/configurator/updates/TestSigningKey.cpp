#include "TestSigningKey.h"

#include <openssl/evp.h>

namespace brevona::test {

TestSigningKey::TestSigningKey()
{
    EVP_PKEY *key = nullptr;
    EVP_PKEY_CTX *context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    EVP_PKEY_keygen_init(context);
    EVP_PKEY_keygen(context, &key);
    EVP_PKEY_CTX_free(context);
    m_key = key;
}

TestSigningKey::~TestSigningKey()
{
    EVP_PKEY_free(static_cast<EVP_PKEY *>(m_key));
}

QByteArray TestSigningKey::publicKey() const
{
    QByteArray raw(32, '\0');
    size_t length = static_cast<size_t>(raw.size());
    EVP_PKEY_get_raw_public_key(static_cast<EVP_PKEY *>(m_key), reinterpret_cast<unsigned char *>(raw.data()),
                                &length);
    raw.resize(static_cast<qsizetype>(length));
    return raw;
}

QByteArray TestSigningKey::sign(const QByteArray &message) const
{
    QByteArray signature(64, '\0');
    size_t length = static_cast<size_t>(signature.size());
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, static_cast<EVP_PKEY *>(m_key));
    EVP_DigestSign(context, reinterpret_cast<unsigned char *>(signature.data()), &length,
                   reinterpret_cast<const unsigned char *>(message.constData()),
                   static_cast<size_t>(message.size()));
    EVP_MD_CTX_free(context);
    signature.resize(static_cast<qsizetype>(length));
    return signature;
}

} // namespace brevona::test
