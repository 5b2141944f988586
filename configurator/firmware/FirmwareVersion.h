#pragma once

#include <QByteArray>
#include <QString>

namespace brevona {

// The version a firmware file carries: the number after the first "V" within its first 12 bytes.
// "version.sys" on the keyboard and every firmware image ("upgrade.bin") carry it the same way.
class FirmwareVersion
{
public:
    static constexpr double Missing = -2; // no file, an empty one, or one that cannot be read
    static constexpr double None = -1;    // no "V", or no number after it
    static constexpr int PrefixLength = 12;

    // From the start of a file; only its first PrefixLength bytes count.
    static double fromBytes(const QByteArray &start);
    // From a file; a path that is not a regular file (a folder, a FIFO) reads as Missing, without
    // waiting on it.
    static double read(const QString &path);
    // "%.2f" for a version above 0, "-.--" otherwise.
    static QString text(double version);
};

} // namespace brevona
