#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace brevona {

// The keys of the configurator's preferences file, with their types and registered defaults. The
// configurator writes the file; the driver reads a few keys from it at start-up. Both read through
// this one list, so a key's name, type and default cannot drift apart between the programs.
class PreferenceKeys
{
public:
    enum class Type
    {
        Bool,    // a boolean; an integer counts, non-zero being true
        Integer, // any number, cut to a whole number
        Real,    // any number
        String,
        Data,
        StringList, // an array of strings; `length` fixes how many when set
    };

    struct Definition
    {
        QString key;
        Type type;
        // The value assumed while the file does not hold the key. Never written to the file.
        QVariant registeredDefault;
        int length = -1; // StringList only: the number of entries, -1 for any
    };

    // A colour as the selection colour is stored: hue, saturation, brightness and alpha, each
    // 0...1, archived as a keyed archive of a dictionary with those four names.
    struct Colour
    {
        double hue = 0;
        double saturation = 0;
        double brightness = 0;
        double alpha = 1;

        QByteArray archived() const;
        // Nothing when the data is no such archive or a component is not a number in 0...1.
        static std::optional<Colour> fromArchive(const QByteArray &data);
        bool operator==(const Colour &) const = default;
    };

    static inline const QString MainSplitViewSize = QStringLiteral("MainSplitViewSize");
    static inline const QString AppearanceAnimateConditions = QStringLiteral("AppearanceAnimateConditions");
    static inline const QString GeneralCheckForUpdates = QStringLiteral("GeneralCheckForUpdates");
    static inline const QString GeneralPaintLayersUsing = QStringLiteral("GeneralPaintLayersUsing");
    static inline const QString KeyboardSelectionColor = QStringLiteral("KeyboardSelectionColor");
    static inline const QString EnableCapsLockModifier = QStringLiteral("EnableCapsLockModifier");
    static inline const QString HybridLayerZonesSetup = QStringLiteral("HybridLayerZonesSetup");
    static inline const QString WakeOnWhenMouseMoves = QStringLiteral("WakeOnWhenMouseMoves");
    static inline const QString KeyboardSleepTimeout = QStringLiteral("KeyboardSleepTimeout");
    static inline const QString KeyboardBrightness = QStringLiteral("KeyboardBrightness");
    static inline const QString AutoAdjustKeyboardBrightness = QStringLiteral("AutoAdjustKeyboardBrightness");
    static inline const QString KeyboardBackgroundColorType = QStringLiteral("KeyboardBackgroundColorType");
    static inline const QString CustomApplicationsBundlesList =
        QStringLiteral("CustomApplicationsBundlesList");
    static inline const QString QuietMode = QStringLiteral("QuietMode");
    static inline const QString ShowBackupRestorePanel = QStringLiteral("ShowBackupRestorePanel");
    static inline const QString DebugMode = QStringLiteral("DebugMode");
    static inline const QString LastLayersSelection = QStringLiteral("LastLayersSelection");
    static inline const QString DisplayPluginsTableExpandedItems =
        QStringLiteral("DisplayPluginsTableExpandedItems");
    static inline const QString ActionPluginsTableExpandedItems =
        QStringLiteral("ActionPluginsTableExpandedItems");

    // The two fixed entries of the hybrid zone setup.
    static inline const QString ZoneLayerImage = QStringLiteral("Layer Image");
    static inline const QString ZoneCurrentLanguage = QStringLiteral("Current Language");
    // "GeneralPaintLayersUsing" when the user is asked each time.
    static inline const QString PaintAlwaysAsk = QStringLiteral("AlwaysAsk");

    static const std::vector<Definition> &definitions();
    // Nothing for a key that is not in the list.
    static const Definition *definition(const QString &key);
    // The registered default of a listed key; an invalid value for any other key.
    static QVariant registeredDefault(const QString &key);

    // `value` in the key's own type (bool, qint64, double, QString, QByteArray, QStringList);
    // nothing when it has another type.
    static std::optional<QVariant> coerce(const Definition &definition, const QVariant &value);
    // The value `stored` (as read from the file) means for a key: itself in the key's type, or
    // the registered default when it is missing or of another type. A listed key only.
    static QVariant effectiveValue(const Definition &definition, const QVariant &stored);

    // "a boolean", "an array of 4 strings", ... for log lines.
    static QString typeName(const Definition &definition);
};

} // namespace brevona
