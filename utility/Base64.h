#pragma once

#include <QByteArray>
#include <QString>

#include "BrevonaUtilityExport.h"

namespace brevona {

// Base64 (RFC 4648 alphabet, "=" padding) for plugins, with optional fixed-width lines.
class BREVONAUTILITY_EXPORT Base64
{
public:
    Base64() = delete;

    // A non-zero line length ends a line with a line feed once it holds at least that many
    // characters; lines grow in steps of four, so other lengths round up to the next multiple
    // of four, and a line completed by the last group is also ended by a line feed.
    static QString base64EncodingWithLineLength(const QByteArray &data, unsigned lineLength);

    // Skips every character outside the alphabet and stops at the first "="; a trailing
    // group of fewer than four characters without "=" is dropped. A null or empty string
    // gives empty bytes.
    static QByteArray dataWithBase64EncodedString(const QString &string);

    // One of the 64 alphabet characters ("=" is not).
    static bool isCharacterPartOfBase64Encoding(char character);

    // Base64 of the UTF-8 bytes, in lines of 64 characters.
    static QString encode(const QString &string);
    // The decoded bytes read as Latin-1 (ASCII unaffected).
    static QString decode(const QString &string);
};

} // namespace brevona
