#pragma once

#include <optional>

#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace brevona {

// Carries property-list values over D-Bus as variants ("a{sv}" for dictionaries):
//   string s, integer x (t above INT64_MAX), real d, boolean b, data ay, array av, dictionary a{sv},
//   date (sd) = ("date", seconds since 1970-01-01 UTC), null marker: any value of type g.
// No property-list value maps onto a signature, so the null marker cannot be mistaken for one; its
// content does not matter. Shell clients send the empty signature (gdbus: <@g ''>); QtDBus, which
// cannot marshal an empty one, sends "v". Incoming values are accepted in any equivalent D-Bus
// form (other integer widths, typed arrays such as "as", dictionaries with string keys) so that
// outside clients like gdbus can send them.
class DBusPlist
{
public:
    // Arrays and dictionaries nested inside one another, counting the outermost one as 1.
    static constexpr int MaxDepth = 64;
    // What the bus carries: variants, arrays, dictionary entries and structures nested inside one
    // another. A deeper message gets its sender disconnected, so the encoder refuses it.
    static constexpr int MaxWireDepth = 64;

    // For marshalling: the value wrapped as D-Bus expects inside a variant. Nothing (and the reason
    // in `error`) when something inside has no property-list form, or arrays and dictionaries nest
    // deeper than MaxDepth or than MaxWireDepth allows. The map form is the info of a command
    // (a{sv}); a single value is taken to travel in a variant of its own at the top.
    static std::optional<QVariant> toDBus(const QVariant &value, QString *error = nullptr);
    static std::optional<QVariantMap> toDBus(const QVariantMap &map, QString *error = nullptr);

    // From what QtDBus hands over (QDBusArgument for containers). Nothing (and the reason in
    // `error`) for a value with no property-list form or nested deeper than MaxDepth.
    static std::optional<QVariant> fromDBus(const QVariant &value, QString *error = nullptr);
    static std::optional<QVariantMap> fromDBus(const QVariantMap &map, QString *error = nullptr);
};

} // namespace brevona
