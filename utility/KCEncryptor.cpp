#include "KCEncryptor.h"

#include <array>

#include <QByteArray>

namespace brevona {

namespace {

// Fixed for compatibility with values already stored by earlier versions.
constexpr std::array<char, 30> kKey = {'H', 'q', '8', 'T', 'z', 'L', 'm', 'c', '3', 'V',
                                       'b', 'R', 'n', '6', 'P', 'w', 'K', 'd', '2', 'X',
                                       'f', 'Y', 's', '9', 'G', 'j', 'E', 'a', '7', 'U'};

constexpr char kHexDigits[] = "0123456789abcdef";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

unsigned char keyAt(qsizetype position)
{
    return static_cast<unsigned char>(kKey[static_cast<std::size_t>(position) % kKey.size()]);
}

} // namespace

QString KCEncryptor::encryptString(const QString &string)
{
    QString result;
    result.reserve(string.size() * 2);
    for (qsizetype i = 0; i < string.size(); ++i) {
        const unsigned byte = (string.at(i).unicode() ^ keyAt(i)) & 0xFFu;
        result.append(QLatin1Char(kHexDigits[byte >> 4]));
        result.append(QLatin1Char(kHexDigits[byte & 0xFu]));
    }
    return result;
}

QString KCEncryptor::decryptString(const QString &string)
{
    // Characters outside Latin-1 become '?', which is not a hexadecimal digit and so ends the
    // text like any other stray character; an embedded NUL ends it as the end of a C string.
    QByteArray text = string.toLatin1();
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);

    QByteArray plain;
    plain.reserve(text.size() / 2);
    for (qsizetype k = 0; 2 * k + 1 < text.size(); ++k) {
        const int high = hexValue(text.at(2 * k));
        const int low = hexValue(text.at(2 * k + 1));
        if (high < 0 || low < 0)
            break;
        const char byte = static_cast<char>(((high << 4) | low) ^ keyAt(k));
        if (byte == '\0')
            break;
        plain.append(byte);
    }
    return QString::fromLatin1(plain);
}

} // namespace brevona
