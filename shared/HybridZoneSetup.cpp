#include "HybridZoneSetup.h"

#include "CommandInfo.h"
#include "PreferenceKeys.h"

namespace brevona {

namespace {

bool isZoneValue(const QString &value)
{
    return value.isEmpty() || value == PreferenceKeys::ZoneLayerImage ||
           value == PreferenceKeys::ZoneCurrentLanguage;
}

bool inRange(int zone)
{
    return zone >= 0 && zone < HybridZoneSetup::ZoneCount;
}

} // namespace

QStringList HybridZoneSetup::defaultZones()
{
    return {PreferenceKeys::ZoneLayerImage, QString(), QString(), PreferenceKeys::ZoneCurrentLanguage};
}

bool HybridZoneSetup::isValid(const QStringList &zones)
{
    return zones.size() == ZoneCount && zones.contains(PreferenceKeys::ZoneLayerImage) &&
           zones.contains(PreferenceKeys::ZoneCurrentLanguage);
}

QStringList HybridZoneSetup::effective(const QVariant &stored)
{
    QStringList zones;
    for (const QVariant &entry : CommandInfo::list(stored).value_or(QVariantList()))
        zones.append(entry.typeId() == QMetaType::QString ? entry.toString() : QString());
    return isValid(zones) ? zones : defaultZones();
}

std::optional<QStringList> HybridZoneSetup::swapped(const QStringList &zones, int from, int to)
{
    if (!inRange(from) || !inRange(to) || zones.size() != ZoneCount)
        return std::nullopt;
    QStringList result = zones;
    result.swapItemsAt(from, to);
    return result;
}

std::optional<QStringList> HybridZoneSetup::placed(const QStringList &zones, int zone, const QString &value)
{
    if (!inRange(zone) || !isZoneValue(value) || zones.size() != ZoneCount)
        return std::nullopt;
    QStringList result = zones;
    if (!value.isEmpty()) {
        for (QString &entry : result) {
            if (entry == value)
                entry.clear();
        }
    }
    result[zone] = value;
    if (!isValid(result))
        return std::nullopt;
    return result;
}

} // namespace brevona
