#include "PreferenceKeys.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "CommandInfo.h"
#include "KeyedArchive.h"
#include "PlistNumber.h"

namespace brevona {

namespace {

const QString kHue = QStringLiteral("Hue");
const QString kSaturation = QStringLiteral("Saturation");
const QString kBrightness = QStringLiteral("Brightness");
const QString kAlpha = QStringLiteral("Alpha");

std::optional<double> unitComponent(const QVariantMap &components, const QString &name)
{
    const QVariant value = components.value(name);
    if (!isPlistNumber(value))
        return std::nullopt;
    const double number = value.toDouble();
    if (number < 0.0 || number > 1.0)
        return std::nullopt;
    return number;
}

} // namespace

QByteArray PreferenceKeys::Colour::archived() const
{
    const QVariantMap components{
        {kHue, hue}, {kSaturation, saturation}, {kBrightness, brightness}, {kAlpha, alpha}};
    return KeyedArchive::archive(components).value_or(QByteArray());
}

std::optional<PreferenceKeys::Colour> PreferenceKeys::Colour::fromArchive(const QByteArray &data)
{
    const Result<QVariant> result = KeyedArchive::unarchive(data);
    if (!result)
        return std::nullopt;
    const auto components = CommandInfo::dictionary(*result);
    if (!components)
        return std::nullopt;
    const auto hue = unitComponent(*components, kHue);
    const auto saturation = unitComponent(*components, kSaturation);
    const auto brightness = unitComponent(*components, kBrightness);
    const auto alpha = unitComponent(*components, kAlpha);
    if (!hue || !saturation || !brightness || !alpha)
        return std::nullopt;
    return Colour{*hue, *saturation, *brightness, *alpha};
}

const std::vector<PreferenceKeys::Definition> &PreferenceKeys::definitions()
{
    static const std::vector<Definition> list{
        {MainSplitViewSize, Type::Real, 250.0},
        {AppearanceAnimateConditions, Type::Bool, true},
        {GeneralCheckForUpdates, Type::Bool, true},
        {GeneralPaintLayersUsing, Type::String, PaintAlwaysAsk},
        {KeyboardSelectionColor, Type::Data, Colour{0.1, 1.0, 1.0, 1.0}.archived()},
        {EnableCapsLockModifier, Type::Bool, false},
        {HybridLayerZonesSetup, Type::StringList,
         QStringList{ZoneLayerImage, QString(), QString(), ZoneCurrentLanguage}, 4},
        {WakeOnWhenMouseMoves, Type::Bool, false},
        {KeyboardSleepTimeout, Type::Integer, qint64(30)},
        {KeyboardBrightness, Type::Real, 100.0},
        {AutoAdjustKeyboardBrightness, Type::Bool, true},
        // The last three have no registered default; readers take these values when absent.
        {KeyboardBackgroundColorType, Type::Integer, qint64(0)},
        {CustomApplicationsBundlesList, Type::StringList, QStringList()},
        {QuietMode, Type::Bool, false},
        // The backup and restore progress panel; false once the user hid it.
        {ShowBackupRestorePanel, Type::Bool, true},
        // The layer list then shows the start of each layer's identifier.
        {DebugMode, Type::Bool, false},
        // The identifiers of the layer list's selected rows, restored at the next start.
        {LastLayersSelection, Type::StringList, QStringList()},
        // The categories the plugin tables show opened; while the file holds none, all are open.
        {DisplayPluginsTableExpandedItems, Type::StringList, QStringList()},
        {ActionPluginsTableExpandedItems, Type::StringList, QStringList()},
    };
    return list;
}

const PreferenceKeys::Definition *PreferenceKeys::definition(const QString &key)
{
    for (const Definition &entry : definitions()) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

QVariant PreferenceKeys::registeredDefault(const QString &key)
{
    const Definition *entry = definition(key);
    return entry ? entry->registeredDefault : QVariant();
}

std::optional<QVariant> PreferenceKeys::coerce(const Definition &definition, const QVariant &value)
{
    switch (definition.type) {
    case Type::Bool:
        if (const auto flag = CommandInfo::boolean(value))
            return QVariant(*flag);
        return std::nullopt;
    case Type::Integer: {
        if (!isPlistNumber(value))
            return std::nullopt;
        if (value.typeId() == QMetaType::ULongLong)
            return QVariant(
                qint64(std::min<quint64>(value.toULongLong(), quint64(std::numeric_limits<qint64>::max()))));
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
            constexpr double low = double(std::numeric_limits<qint64>::min());
            constexpr double high = double(std::numeric_limits<qint64>::max());
            return QVariant(qint64(std::clamp(std::trunc(value.toDouble()), low, high)));
        }
        return QVariant(value.toLongLong());
    }
    case Type::Real:
        if (!isPlistNumber(value))
            return std::nullopt;
        return QVariant(value.toDouble());
    case Type::String:
        if (const auto text = CommandInfo::string(value))
            return QVariant(*text);
        return std::nullopt;
    case Type::Data:
        if (value.typeId() != QMetaType::QByteArray)
            return std::nullopt;
        return value;
    case Type::StringList: {
        const auto strings = CommandInfo::stringList(value);
        if (!strings || (definition.length >= 0 && strings->size() != definition.length))
            return std::nullopt;
        return QVariant(*strings);
    }
    }
    return std::nullopt;
}

QVariant PreferenceKeys::effectiveValue(const Definition &definition, const QVariant &stored)
{
    if (stored.isValid()) {
        if (auto value = coerce(definition, stored))
            return *value;
    }
    return definition.registeredDefault;
}

QString PreferenceKeys::typeName(const Definition &definition)
{
    switch (definition.type) {
    case Type::Bool:
        return QStringLiteral("a boolean");
    case Type::Integer:
        return QStringLiteral("an integer");
    case Type::Real:
        return QStringLiteral("a number");
    case Type::String:
        return QStringLiteral("a string");
    case Type::Data:
        return QStringLiteral("data");
    case Type::StringList:
        return definition.length >= 0 ? QStringLiteral("an array of %1 strings").arg(definition.length)
                                      : QStringLiteral("an array of strings");
    }
    return {};
}

} // namespace brevona
