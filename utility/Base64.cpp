#include "Base64.h"

#include <array>

namespace brevona {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> makeDecodeTable()
{
    std::array<signed char, 256> table{};
    for (auto &value : table)
        value = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    return table;
}

constexpr std::array<signed char, 256> kDecodeTable = makeDecodeTable();

int valueOf(char character)
{
    return kDecodeTable[static_cast<unsigned char>(character)];
}

} // namespace

QString Base64::base64EncodingWithLineLength(const QByteArray &data, unsigned lineLength)
{
    const qsizetype groups = (data.size() + 2) / 3;
    QByteArray text;
    text.reserve(groups * 4 + (lineLength ? groups * 4 / lineLength + 1 : 0));

    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    unsigned charactersOnLine = 0;
    for (qsizetype i = 0; i < data.size(); i += 3) {
        const qsizetype remaining = data.size() - i;
        const unsigned b0 = bytes[i];
        const unsigned b1 = remaining > 1 ? bytes[i + 1] : 0;
        const unsigned b2 = remaining > 2 ? bytes[i + 2] : 0;
        text.append(kAlphabet[b0 >> 2]);
        text.append(kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)]);
        text.append(remaining > 1 ? kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=');
        text.append(remaining > 2 ? kAlphabet[b2 & 0x3F] : '=');
        if (lineLength != 0) {
            charactersOnLine += 4;
            if (charactersOnLine >= lineLength) {
                text.append('\n');
                charactersOnLine = 0;
            }
        }
    }
    return QString::fromLatin1(text);
}

QByteArray Base64::dataWithBase64EncodedString(const QString &string)
{
    if (string.isEmpty())
        return {};

    // Characters outside Latin-1 turn into '?', which is skipped like any non-alphabet byte.
    const QByteArray text = string.toLatin1();
    QByteArray data;
    data.reserve(text.size() / 4 * 3 + 3);

    std::array<unsigned, 4> values{};
    int count = 0;
    for (const char character : text) {
        if (character == '=') {
            // A padded group keeps the bytes its values complete; at least one byte is
            // produced from a lone value, the rest of its bits read as zero.
            if (count >= 1)
                data.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
            if (count == 3)
                data.append(static_cast<char>(((values[1] & 0x0F) << 4) | (values[2] >> 2)));
            return data;
        }
        const int value = valueOf(character);
        if (value < 0)
            continue;
        values[count++] = static_cast<unsigned>(value);
        if (count == 4) {
            data.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
            data.append(static_cast<char>(((values[1] & 0x0F) << 4) | (values[2] >> 2)));
            data.append(static_cast<char>(((values[2] & 0x03) << 6) | values[3]));
            values = {};
            count = 0;
        }
    }
    return data;
}

bool Base64::isCharacterPartOfBase64Encoding(char character)
{
    return valueOf(character) >= 0;
}

QString Base64::encode(const QString &string)
{
    return base64EncodingWithLineLength(string.toUtf8(), 64);
}

QString Base64::decode(const QString &string)
{
    return QString::fromLatin1(dataWithBase64EncodedString(string));
}

} // namespace brevona
