#pragma once

#include <QByteArray>
#include <QString>

namespace brevona {

// Detached Ed25519 signatures of update packages: "<package>.sig" beside the package on the
// server holds the 64-byte signature of the package's bytes, made with the release key. Only a
// package whose signature checks out against the public key compiled in here is ever handed on.
// docs/release-signing.md says how releases are signed.
class PackageSignature
{
public:
    static constexpr qsizetype kSignatureBytes = 64;
    static constexpr qsizetype kPublicKeyBytes = 32;

    // The release key's public half (32 raw bytes).
    static QByteArray releasePublicKey();

    // Whether `signature` (the raw 64 bytes, or their Base64 text on one line) signs the file at
    // `path` (read through a memory map) under the raw 32-byte Ed25519 `publicKey`. The reason when
    // not; empty when it does.
    static QString refusalForFile(const QString &path, const QByteArray &signature,
                                  const QByteArray &publicKey);
};

} // namespace brevona
