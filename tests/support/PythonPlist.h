#pragma once

#include <optional>

#include <QString>
#include <QVariant>

namespace brevona {

// An independent reader and writer for property lists: python3's plistlib, run as a child process.
// Values are compared through one canonical text both sides produce:
//   dictionary {"key":value,...} (keys in code-point order), array [a,b], string as JSON,
//   true/false, integer i42, real r<IEEE-754 bits in hex> or rnan, data d<hex>,
//   date t<milliseconds since 1970, UTC, nearest>, keyed-archive reference u<n>, null.
class PythonPlist
{
public:
    // Canonical text of the property list in a file, as plistlib reads it. Nothing when plistlib
    // refuses the file; the reason is in lastError().
    static std::optional<QString> dump(const QString &path);

    // Writes the value of a Python expression with plistlib. The expression may use UID
    // (plistlib.UID), datetime (datetime.datetime) and nan/inf.
    static bool write(const QString &path, const QString &expression, bool binary);

    // Canonical text of the root object of a keyed archive, resolved by a small reader of the
    // standard layout written in Python (arrays, dictionaries, strings, data, dates, numbers, null).
    static std::optional<QString> unarchive(const QString &path);

    // Canonical text of an in-memory value (NullMarker gives null).
    static QString canonical(const QVariant &value);

    static QString lastError();
};

} // namespace brevona
