#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace brevona {

// Property-list values live in memory as QVariant:
//   dictionary -> QVariantMap, array -> QVariantList, string -> QString, integer -> qint64
//   (unsigned values above INT64_MAX -> quint64), real -> double, boolean -> bool,
//   data -> QByteArray, date -> QDateTime (UTC), null marker -> NullMarker.
// Reading and writing go through libplist. A property list has no null: on writing, dictionary
// entries and array elements holding the null marker are left out, since the marker means
// "no value". Other integer and floating-point QVariant types, QVariantHash and QStringList are
// accepted on writing. A keyed-archive reference read as a plain property list becomes
// {"CF$UID": n}, its XML form. Strings holding a NUL character or an unpaired surrogate, and
// for XML a character XML 1.0 forbids, have no property-list form; nor have dates outside the
// years 1 to 9999. XML keeps dates to the whole second (rounded down), binary to the millisecond.
// Input nested deeper than PlistNode::kMaxDepth or expanding to more than PlistNode::kMaxNodes
// values is refused as malformed.
class PropertyList
{
public:
    enum class Format
    {
        Xml,
        Binary
    };

    // Parses XML or binary property-list bytes. Nothing for malformed input; the reason is logged,
    // or given in `problem` when the caller logs it.
    static std::optional<QVariant> fromData(const QByteArray &bytes, QString *problem = nullptr);
    // Reads a file; nothing when it is missing, unreadable or malformed.
    static std::optional<QVariant> readFile(const QString &path);
    // Reads a file whose top level must be a dictionary.
    static std::optional<QVariantMap> readDictionary(const QString &path);

    // Serialises a value. Nothing when the value (or something inside it) has no property-list form.
    static std::optional<QByteArray> toData(const QVariant &value, Format format = Format::Xml);
    // Writes atomically (temporary file in the same folder, then rename); creates the folder when
    // missing. On failure the old file is left untouched and false is returned.
    static bool writeFile(const QString &path, const QVariant &value, Format format = Format::Xml);

    // True when the value is one of the types above (recursively), the null marker included.
    static bool isPropertyList(const QVariant &value);
};

} // namespace brevona
