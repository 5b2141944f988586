#pragma once

#include <optional>

#include <QByteArray>

namespace brevona {

// Symmetric cipher "aes128": AES-128-CBC with PKCS#7 padding, key and IV derived from the key text
// by EVP_BytesToKey (MD5, no salt, one round), so that stores written by either program decrypt
// in the other. The result is byte for byte what
// `openssl enc -aes-128-cbc -md md5 -nosalt -pass pass:<key text>` produces.
class SSCrypto
{
public:
    explicit SSCrypto(const QByteArray &keyText);
    ~SSCrypto();
    SSCrypto(const SSCrypto &) = default;
    SSCrypto &operator=(const SSCrypto &) = default;

    // Nothing only when the cipher library fails or the input is too large for one call.
    std::optional<QByteArray> encrypt(const QByteArray &plain) const;
    // Nothing when the data does not decrypt (wrong key, damaged, wrong length).
    std::optional<QByteArray> decrypt(const QByteArray &cipher) const;

private:
    unsigned char m_key[16];
    unsigned char m_iv[16];
    bool m_valid = false;
};

} // namespace brevona
