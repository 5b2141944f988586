#pragma once

#include <optional>

#include <QColor>
#include <QHash>
#include <QString>
#include <QVariantMap>

namespace brevona {

// The drawing attributes of a text key ("size", "font", "color", "background", "bold", "italic")
// and the private files that keep the user's overrides of them. In memory a colour is a QColor;
// in a file it is the text "#aarrggbb". An override table holds only what the user changed; the
// effective attributes are the defaults with the overrides laid over them.
class DrawingAttributes
{
public:
    static const QString Size;
    static const QString Font;
    static const QString Color;
    static const QString Background;
    static const QString Bold;
    static const QString Italic;

    // Language keys: 28, the system's sans font, white at 0.8 on black, neither bold nor italic.
    static QVariantMap languageDefaults();
    // Control keys: 14, white at 0.8 on black (their size follows the label, see the layer).
    static QVariantMap controlDefaults();
    static QVariantMap overlaid(const QVariantMap &defaults, const QVariantMap &overrides);
    // Merges an edit into one key's overrides: no edit clears them, a null marker removes its entry,
    // and a key left without overrides is dropped from the table.
    static void applyEdit(QHash<QString, QVariantMap> &table, const QString &name,
                          const std::optional<QVariantMap> &edit);

    // A colour attribute as a QColor (invalid when it is none).
    static QColor color(const QVariant &value);

    // One attribute dictionary as read from `file` for `key`: an entry of the wrong type is left
    // out with one log line, so its default applies; unknown entries are kept.
    static QVariantMap fromFile(const QVariant &entry, const QString &file, const QString &key);
    static QVariantMap toFile(const QVariantMap &attributes);

    // A file holding key -> attribute dictionary. A missing file is an empty table; a file that is
    // not a property-list dictionary is logged and read as empty.
    static QHash<QString, QVariantMap> readTable(const QString &path);
    static bool writeTable(const QString &path, const QHash<QString, QVariantMap> &table);
    // A file holding key -> string ("Labels.plist"); the same rules.
    static QHash<QString, QString> readStrings(const QString &path);
    static bool writeStrings(const QString &path, const QHash<QString, QString> &table);
};

} // namespace brevona
