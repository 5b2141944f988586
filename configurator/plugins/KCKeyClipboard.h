#pragma once

#include <map>
#include <memory>
#include <optional>

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "KCLayerManager.h"
#include "KeyboardMimeTypes.h"

class QMimeData;

namespace brevona {

// The keys' clipboard and drag formats. Keys travel in the store's on-disk form (protected
// settings encrypted, as in the layer's file), so no protected value reaches the clipboard in
// clear text; what comes back is read as untrusted: size-limited, type-checked, unknown key
// names and unreadable pictures skipped.
class KCKeyClipboard
{
public:
    static inline const QString &ButtonsMimeType = mimetypes::KeyboardButtons;
    static inline const QString &DragMimeType = mimetypes::KeyboardButtonDrag;
    static inline const QString OriginMimeType = QStringLiteral("application/x-brevona-origin");
    // A full layer of keys with pictures is well below this.
    static constexpr qsizetype MaxDataBytes = 16 * 1024 * 1024;
    // The one entry the plugin tables write stands for no key in particular.
    static inline const QString UnknownButton = QStringLiteral("UnknownButton");

    // One key as the clipboard carries it: its plugins, its own picture (null when the entry has
    // none) and, for an action plugin from the tables, the plugin's icon for a key that has no
    // picture yet.
    struct Entry
    {
        QVariantMap info;
        QImage picture;
        QImage extraPicture;
    };
    using Entries = std::map<QString, Entry>;

    // The named keys of a layer that exist, as "application/x-brevona-keyboard-buttons".
    static std::unique_ptr<QMimeData> buttonsData(KCLayerManager &layers, const QString &layerIdentifier,
                                                  const QStringList &keys);
    // The entry of a plugin from the tables: its signature on the display or action side, and
    // for an action plugin the picture a key without one takes (none when null).
    static std::unique_ptr<QMimeData> pluginData(const QString &side, const QString &signature,
                                                 const QImage &extraPicture = QImage());
    // Nothing when the data holds no readable entry.
    static std::optional<Entries> readButtons(const QMimeData &data);

    struct Drag
    {
        QString layer;
        QString key;
        Entry entry;
    };
    // One key dragged out of a layer, as "application/x-brevona-keyboard-button-drag".
    static std::unique_ptr<QMimeData> dragData(KCLayerManager &layers, const QString &layerIdentifier,
                                               const QString &key);
    static std::optional<Drag> readDrag(const QMimeData &data);
    // Whether the data was written by this process: a key dragged from another program is copied,
    // never moved (its source cannot be deleted from here).
    static bool isFromThisProcess(const QMimeData &data);

private:
    static QVariantMap encode(const Entries &entries);
    static Entries decode(const QVariantMap &encoded);
    static std::optional<QVariant> read(const QMimeData &data, const QString &type);
    static std::unique_ptr<QMimeData> write(const QString &type, const QVariant &value);
};

} // namespace brevona
