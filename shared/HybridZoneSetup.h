#pragma once

#include <optional>

#include <QStringList>
#include <QVariant>

namespace brevona {

// Which of the four quarters of a hybrid key (top left, top right, bottom left, bottom right)
// shows the layer's own picture and which the current language's character. Stored by the
// configurator as "HybridLayerZonesSetup" and read by the driver's composition, both through this
// one rule, so the keyboard shows what the editor shows.
class HybridZoneSetup
{
public:
    static constexpr int ZoneCount = 4;

    // The layer's picture top left, the language's character bottom right.
    static QStringList defaultZones();
    // Four entries naming both "Layer Image" and "Current Language" (the others are empty).
    static bool isValid(const QStringList &zones);
    // What a stored value means: the list when it is valid (entries that are no strings count as
    // empty), else the default.
    static QStringList effective(const QVariant &stored);

    // The two zones exchanged; nothing when either index is out of range.
    static std::optional<QStringList> swapped(const QStringList &zones, int from, int to);
    // `value` takes a zone; the zone that held it before (a value shows in one zone only) is
    // emptied. Nothing when the value is unknown, the index out of range, or the result would lack
    // one of the two values, which both programs would replace by the default.
    static std::optional<QStringList> placed(const QStringList &zones, int zone, const QString &value);
};

} // namespace brevona
