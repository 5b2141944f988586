#pragma once

#include <QString>

namespace brevona {

// Versions are compared as decimal numbers, not as dotted lists: the version server and the
// configurators already in use agree on this reading, so "1.10" is not newer than "1.9".
class UpdateVersion
{
public:
    // The leading decimal number of `version` (after white space: sign, digits, a point, digits,
    // an exponent) read as a 32-bit float; 0 when it does not start with one or when the number is
    // too large for a float.
    static float numericValue(const QString &version);
    // Whether `version` starts with a decimal number at all.
    static bool isNumeric(const QString &version);
    // Whether `available` is newer than `installed`, both read as above.
    static bool isNewer(const QString &available, const QString &installed);
};

} // namespace brevona
