#include "ResourceFiles.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include "PropertyList.h"

namespace brevona::test {

QString ResourceFiles::folder()
{
    return QStringLiteral(BREVONA_BINARY_DIR "/resources");
}

QString ResourceFiles::path(const QString &name)
{
    return folder() + QLatin1Char('/') + name;
}

QVariantMap ResourceFiles::dictionary(const QString &name)
{
    // The files do not change while the tests run; reading each once keeps the checks quick.
    static QHash<QString, QVariantMap> cache;
    const auto cached = cache.constFind(name);
    if (cached != cache.cend())
        return cached.value();
    const QVariantMap read = PropertyList::readDictionary(path(name)).value_or(QVariantMap());
    cache.insert(name, read);
    return read;
}

std::optional<QPoint> ResourceFiles::point(const QVariant &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\{(-?\d+), (-?\d+)\}$)"));
    const auto match = pattern.match(text.toString());
    if (text.typeId() != QMetaType::QString || !match.hasMatch())
        return std::nullopt;
    return QPoint(match.captured(1).toInt(), match.captured(2).toInt());
}

std::optional<QRect> ResourceFiles::rect(const QVariant &text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\{\{(-?\d+), (-?\d+)\}, \{(\d+), (\d+)\}\}$)"));
    const auto match = pattern.match(text.toString());
    if (text.typeId() != QMetaType::QString || !match.hasMatch())
        return std::nullopt;
    return QRect(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                 match.captured(4).toInt());
}

std::optional<int> ResourceFiles::tiffCompression(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 8)
        return std::nullopt;
    const bool little = bytes.startsWith("II*");
    if (!little && !bytes.startsWith("MM"))
        return std::nullopt;
    const auto number = [&](qsizetype at, int size) -> std::optional<quint32> {
        if (at < 0 || at + size > bytes.size())
            return std::nullopt;
        quint32 value = 0;
        for (int i = 0; i < size; ++i) {
            const quint32 byte = static_cast<quint8>(bytes[at + (little ? size - 1 - i : i)]);
            value = (value << 8) | byte;
        }
        return value;
    };
    const auto directory = number(4, 4);
    const auto entries = directory ? number(*directory, 2) : std::nullopt;
    if (!entries)
        return std::nullopt;
    for (quint32 i = 0; i < *entries; ++i) {
        const qsizetype entry = *directory + 2 + i * 12;
        if (number(entry, 2) != 259u)
            continue;
        const auto value = number(entry + 8, 2);
        return value ? std::optional(static_cast<int>(*value)) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace brevona::test
