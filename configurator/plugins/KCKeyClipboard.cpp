#include "KCKeyClipboard.h"

#include <QBuffer>
#include <QImageReader>
#include <QLoggingCategory>
#include <QMimeData>
#include <QUuid>

#include "LayerPicture.h"
#include "LayerStoreCodec.h"
#include "PluginsLogging.h"
#include "PropertyList.h"
#include "StoreWriter.h"

namespace brevona {

namespace {

const QString kPicture = QStringLiteral("Picture");
const QString kExtraPicture = QStringLiteral("ExtraPicture");
const QString kSettings = QStringLiteral("Settings");
const QString kButton = QStringLiteral("Button");
const QString kLayer = QStringLiteral("Layer");
const QString kSignature = QStringLiteral("Signature");
// Key pictures are 48 x 48; anything much larger on the clipboard is not one of ours.
constexpr int MaxPictureSide = 1024;

// A picture from the clipboard, read only when its header says it is of a sensible size.
QImage readPicture(const QVariant &value)
{
    if (value.typeId() != QMetaType::QByteArray)
        return {};
    QByteArray bytes = value.toByteArray();
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxPictureSide || size.height() > MaxPictureSide)
        return {};
    return reader.read();
}

// The plugin sides of an entry that are what the store expects: dictionaries with a signature.
QVariantMap pluginSides(const QVariantMap &entry)
{
    QVariantMap info;
    for (const QString &side : {KCLayerManager::DisplayPluginKey, KCLayerManager::ActionPluginKey}) {
        const QVariant plugin = entry.value(side);
        if (plugin.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap map = plugin.toMap();
        if (map.value(kSignature).typeId() != QMetaType::QString ||
            map.value(kSignature).toString().isEmpty())
            continue;
        QVariantMap kept{{kSignature, map.value(kSignature)}};
        if (map.value(kSettings).typeId() == QMetaType::QVariantMap)
            kept.insert(kSettings, map.value(kSettings));
        info.insert(side, kept);
    }
    return info;
}

} // namespace

QVariantMap KCKeyClipboard::encode(const Entries &entries)
{
    QVariantMap buttons;
    for (const auto &[key, entry] : entries)
        buttons.insert(key, entry.info);
    // The store's own form: protected settings leave the process encrypted.
    QVariantMap encoded = LayerStoreCodec::archiveButtonsInfo(buttons, false);
    for (const auto &[key, entry] : entries) {
        QVariantMap map = encoded.value(key).toMap();
        if (!entry.picture.isNull())
            map.insert(kPicture, StoreWriter::tiffData(entry.picture));
        if (!entry.extraPicture.isNull())
            map.insert(kExtraPicture, StoreWriter::tiffData(entry.extraPicture));
        encoded.insert(key, map);
    }
    return encoded;
}

KCKeyClipboard::Entries KCKeyClipboard::decode(const QVariantMap &encoded)
{
    QVariantMap buttons;
    for (auto it = encoded.cbegin(); it != encoded.cend(); ++it) {
        // Only keys with a display, and the tables' stand-in, can be pasted.
        if (it.value().typeId() != QMetaType::QVariantMap ||
            (it.key() != UnknownButton && !LayerPicture::location(it.key())))
            continue;
        buttons.insert(it.key(), pluginSides(it.value().toMap()));
    }
    const QVariantMap decoded = LayerStoreCodec::archiveButtonsInfo(buttons, true);
    Entries entries;
    for (auto it = decoded.cbegin(); it != decoded.cend(); ++it) {
        const QVariantMap raw = encoded.value(it.key()).toMap();
        entries[it.key()] = Entry{it.value().toMap(), readPicture(raw.value(kPicture)),
                                  readPicture(raw.value(kExtraPicture))};
    }
    return entries;
}

namespace {

// A token of this process, unknown to any other.
const QByteArray &processToken()
{
    static const QByteArray token = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    return token;
}

} // namespace

std::unique_ptr<QMimeData> KCKeyClipboard::write(const QString &type, const QVariant &value)
{
    const auto bytes = PropertyList::toData(value, PropertyList::Format::Binary);
    if (!bytes)
        return nullptr;
    auto data = std::make_unique<QMimeData>();
    data->setData(type, *bytes);
    data->setData(OriginMimeType, processToken());
    return data;
}

bool KCKeyClipboard::isFromThisProcess(const QMimeData &data)
{
    return data.data(OriginMimeType) == processToken();
}

std::optional<QVariant> KCKeyClipboard::read(const QMimeData &data, const QString &type)
{
    if (!data.hasFormat(type))
        return std::nullopt;
    const QByteArray bytes = data.data(type);
    if (bytes.size() > MaxDataBytes) {
        qCWarning(lcPluginCatalogue).noquote()
            << QStringLiteral("Keys on the clipboard take %1 bytes; more than %2 are not read")
                   .arg(bytes.size())
                   .arg(MaxDataBytes);
        return std::nullopt;
    }
    return PropertyList::fromData(bytes);
}

std::unique_ptr<QMimeData> KCKeyClipboard::buttonsData(KCLayerManager &layers, const QString &layerIdentifier,
                                                       const QStringList &keys)
{
    Entries entries;
    for (const QString &key : keys) {
        if (const auto state = layers.keyState(layerIdentifier, key))
            entries[key] = Entry{state->info, state->picture, QImage()};
    }
    return entries.empty() ? nullptr : write(ButtonsMimeType, encode(entries));
}

std::unique_ptr<QMimeData> KCKeyClipboard::pluginData(const QString &side, const QString &signature,
                                                      const QImage &extraPicture)
{
    QVariantMap entry{{side, QVariantMap{{kSignature, signature}}}};
    if (!extraPicture.isNull())
        entry.insert(kExtraPicture, StoreWriter::tiffData(extraPicture));
    return write(ButtonsMimeType, QVariantMap{{UnknownButton, entry}});
}

std::optional<KCKeyClipboard::Entries> KCKeyClipboard::readButtons(const QMimeData &data)
{
    const auto value = read(data, ButtonsMimeType);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    Entries entries = decode(value->toMap());
    if (entries.empty())
        return std::nullopt;
    return entries;
}

std::unique_ptr<QMimeData> KCKeyClipboard::dragData(KCLayerManager &layers, const QString &layerIdentifier,
                                                    const QString &key)
{
    const auto state = layers.keyState(layerIdentifier, key);
    if (!state)
        return nullptr;
    const QVariantMap encoded = encode({{key, Entry{state->info, state->picture, QImage()}}});
    QVariantMap drag{{kSettings, encoded.value(key).toMap()}, {kButton, key}, {kLayer, layerIdentifier}};
    return write(DragMimeType, drag);
}

std::optional<KCKeyClipboard::Drag> KCKeyClipboard::readDrag(const QMimeData &data)
{
    const auto value = read(data, DragMimeType);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap drag = value->toMap();
    const QString key = drag.value(kButton).toString();
    if (drag.value(kButton).typeId() != QMetaType::QString ||
        drag.value(kLayer).typeId() != QMetaType::QString)
        return std::nullopt;
    const Entries entries = decode({{key, drag.value(kSettings)}});
    const auto found = entries.find(key);
    if (found == entries.end())
        return std::nullopt;
    return Drag{drag.value(kLayer).toString(), key, found->second};
}

} // namespace brevona
