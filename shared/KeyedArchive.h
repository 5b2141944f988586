#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

#include "Result.h"

namespace brevona {

// Codec for the standard keyed-archive layout ($archiver "NSKeyedArchiver", $version 100000,
// $top {"root": UID}, $objects starting with "$null", class records with $classname/$classes).
// Values are the QVariant forms of PropertyList. Arrays, dictionaries, dates and the null marker
// are written as NSArray, NSDictionary, NSDate and NSNull records, strings, numbers, booleans and
// data inline, as the platform's archiver does. Reading also accepts the mutable classes, sets
// (as arrays), NSString/NSData records, the nil reference "$null" (as the null marker) and
// subclasses whose $classes name a known class.
class KeyedArchive
{
public:
    // Archives a value as a binary property list. Nothing when a value has no archivable form.
    static std::optional<QByteArray> archive(const QVariant &value);
    // Decodes an archive (binary or XML plist). Cycles, references out of range, unknown classes
    // and wrong types give an error, never a crash or an endless loop.
    static Result<QVariant> unarchive(const QByteArray &data);
};

} // namespace brevona
