#pragma once

#include <QString>

#include "BrevonaUtilityExport.h"

namespace brevona {

// Reversible scrambling of short texts into lower-case hexadecimal, used for plugin settings
// stored under keys beginning with "#". It only keeps values from being read at a glance; it
// is not encryption and must not be relied on to protect secrets.
class BREVONAUTILITY_EXPORT KCEncryptor
{
public:
    KCEncryptor() = delete;

    // Two hexadecimal digits per UTF-16 code unit; only the low 8 bits of each scrambled
    // code unit are kept, so characters above U+00FF do not come back unchanged.
    static QString encryptString(const QString &string);

    // Reads hexadecimal pairs as far as they parse: a trailing single digit or a pair that is
    // not two hexadecimal digits ends the text, as does a pair that unscrambles to a zero
    // byte. The bytes are read as Latin-1.
    static QString decryptString(const QString &string);
};

} // namespace brevona
