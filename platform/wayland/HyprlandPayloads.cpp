#include "HyprlandPayloads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "InputLanguageSource.h"

namespace brevona {

namespace {

std::optional<QJsonDocument> parse(const QByteArray &payload)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

} // namespace

QString HyprlandPayloads::address(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.startsWith(QLatin1String("0x")) ? trimmed.mid(2) : trimmed;
}

std::optional<QList<HyprlandPayloads::Client>> HyprlandPayloads::clients(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isArray())
        return std::nullopt;
    QList<Client> result;
    for (const QJsonValue &value : document->array()) {
        const QJsonObject object = value.toObject();
        const QString at = address(object.value(QLatin1String("address")).toString());
        // Windows being set up are listed unmapped, some without class yet.
        if (at.isEmpty() || !object.value(QLatin1String("mapped")).toBool(true))
            continue;
        Client client;
        client.address = at;
        client.wmClass = object.value(QLatin1String("class")).toString();
        client.initialClass = object.value(QLatin1String("initialClass")).toString();
        client.pid = qMax<qint64>(0, object.value(QLatin1String("pid")).toInteger());
        client.xwayland = object.value(QLatin1String("xwayland")).toBool();
        result.append(client);
    }
    return result;
}

std::optional<QString> HyprlandPayloads::activeWindow(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return std::nullopt;
    return address(document->object().value(QLatin1String("address")).toString());
}

std::optional<QList<HyprlandPayloads::Keyboard>> HyprlandPayloads::keyboards(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return std::nullopt;
    QList<Keyboard> result;
    for (const QJsonValue &value : document->object().value(QLatin1String("keyboards")).toArray()) {
        const QJsonObject object = value.toObject();
        Keyboard keyboard;
        keyboard.name = object.value(QLatin1String("name")).toString();
        const QStringList layouts = object.value(QLatin1String("layout")).toString().split(QLatin1Char(','));
        const QStringList variants =
            object.value(QLatin1String("variant")).toString().split(QLatin1Char(','));
        for (qsizetype i = 0; i < layouts.size(); ++i) {
            if (!layouts.at(i).trimmed().isEmpty())
                keyboard.layouts.append(InputLanguageSource::layoutName(layouts.at(i), variants.value(i)));
        }
        keyboard.activeKeymap = object.value(QLatin1String("active_keymap")).toString();
        keyboard.activeIndex = object.value(QLatin1String("active_layout_index")).toInt(-1);
        keyboard.main = object.value(QLatin1String("main")).toBool();
        result.append(keyboard);
    }
    return result;
}

std::optional<HyprlandPayloads::Event> HyprlandPayloads::event(const QByteArray &line)
{
    const qsizetype separator = line.indexOf(">>");
    if (separator <= 0)
        return std::nullopt;
    return Event{QString::fromUtf8(line.left(separator)), QString::fromUtf8(line.mid(separator + 2))};
}

QStringList HyprlandPayloads::fields(const QString &data, int count)
{
    QStringList result;
    qsizetype from = 0;
    while (result.size() + 1 < count) {
        const qsizetype comma = data.indexOf(QLatin1Char(','), from);
        if (comma < 0)
            break;
        result.append(data.mid(from, comma - from));
        from = comma + 1;
    }
    result.append(data.mid(from));
    return result;
}

} // namespace brevona
