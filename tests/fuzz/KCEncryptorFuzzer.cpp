// Feeds arbitrary text to the unscrambler and the Base64 decoder: neither may crash, read out of
// bounds or produce more than its input can hold, and what they produce must survive a round
// trip through the matching encoder.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "Base64.h"
#include "KCEncryptor.h"

using brevona::Base64;
using brevona::KCEncryptor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    for (const QString &text : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const QString plain = KCEncryptor::decryptString(text);
        if (plain.size() > text.size() / 2 || plain.contains(QChar(0)))
            __builtin_trap();
        // Unscrambled text is Latin-1 without NUL, which scrambles and comes back unchanged.
        if (KCEncryptor::decryptString(KCEncryptor::encryptString(plain)) != plain)
            __builtin_trap();

        const QByteArray decoded = Base64::dataWithBase64EncodedString(text);
        if (decoded.size() > text.size() / 4 * 3 + 1)
            __builtin_trap();
        const unsigned lineLength = size > 0 ? data[0] : 0;
        if (Base64::dataWithBase64EncodedString(Base64::base64EncodingWithLineLength(decoded, lineLength)) !=
            decoded)
            __builtin_trap();
        (void)Base64::decode(text);
    }
    return 0;
}
