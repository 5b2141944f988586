#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

namespace brevona {

// Typed reading of the values in a command's info dictionary. Each getter answers nothing when the
// value is missing or of another type: data that happens to hold text is no string, a number is no
// list. Handlers treat a value of the wrong type like a missing one.
class CommandInfo
{
public:
    static std::optional<QString> string(const QVariant &value);
    // A list whose every element is a string.
    static std::optional<QStringList> stringList(const QVariant &value);
    // A boolean, or an integer (non-zero is true) as some outside clients send them.
    static std::optional<bool> boolean(const QVariant &value);
    static std::optional<QVariantMap> dictionary(const QVariant &value);
    static std::optional<QVariantList> list(const QVariant &value);

    // A short name of the value's type for log lines: "a string", "an integer", "data", ...
    static QString typeName(const QVariant &value);
    // Key names for one log line: the first few, then how many more.
    static QString summarize(const QStringList &keys);

    // Whether the keyboard has a key of this name. Every name counts as known when the keyboard
    // data set could not be read, since nothing can be checked then.
    static bool isKnownKey(const QString &name);
};

} // namespace brevona
