#pragma once

#include <optional>

#include <QVariant>
#include <QVariantMap>

namespace brevona {

// Carries property-list values over D-Bus as variants ("a{sv}" for dictionaries):
//   string s, integer x (t above INT64_MAX), real d, boolean b, data ay, array av, dictionary a{sv},
//   date (sd) = ("date", seconds since 1970-01-01 UTC), null marker g = "" (an empty signature).
// No property-list value maps onto a signature, so the null marker cannot be mistaken for one.
// Incoming values are accepted in any equivalent D-Bus form (other integer widths, typed arrays
// such as "as", dictionaries with string keys) so that outside clients like gdbus can send them.
class DBusPlist
{
public:
    static constexpr int MaxDepth = 64;

    // For marshalling: the value wrapped as D-Bus expects inside a variant.
    static QVariant toDBus(const QVariant &value);
    static QVariantMap toDBus(const QVariantMap &map);

    // From what QtDBus hands over (QDBusArgument for containers). Nothing for a value with no
    // property-list form or nested deeper than MaxDepth.
    static std::optional<QVariant> fromDBus(const QVariant &value);
    static std::optional<QVariantMap> fromDBus(const QVariantMap &map);
};

} // namespace brevona
