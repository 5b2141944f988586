#pragma once

#include <QByteArray>

namespace brevona::test {

// A fresh Ed25519 key pair for one test: packages signed with it verify against its public key
// and against no other, the release key included.
class TestSigningKey
{
public:
    TestSigningKey();
    ~TestSigningKey();
    TestSigningKey(const TestSigningKey &) = delete;
    TestSigningKey &operator=(const TestSigningKey &) = delete;

    // The raw 32-byte public key.
    QByteArray publicKey() const;
    // The raw 64-byte signature of `message`.
    QByteArray sign(const QByteArray &message) const;

private:
    void *m_key; // EVP_PKEY
};

} // namespace brevona::test
