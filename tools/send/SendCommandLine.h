#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QTextStream;

namespace brevona {

// The command line of brevona-send, which hands one command to the running driver:
//   brevona-send NAME [FILE|-]
// FILE (or "-" for standard input) holds the info dictionary as a property list, XML or binary;
// without it the command goes without info. A property list has no null, so the null marker of
// commands ("remove this entry") is written as a dictionary whose only key is "$null":
//   <dict><key>$null</key><true/></dict>
// Pictures ("Image") are <data> holding the picture file's bytes (TIFF).
class SendCommandLine
{
public:
    enum ExitCode
    {
        Success = 0,
        NotDelivered = 1, // no driver, or the send failed
        UsageError = 2,   // bad arguments or bad info
    };

    static int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

    // The info from property-list bytes, with "$null" dictionaries turned into the null marker.
    // Nothing, and the reason in `error`, when the bytes are no property list or not a dictionary.
    static std::optional<QVariantMap> parseInfo(const QByteArray &bytes, QString *error);

    static QString usage();
};

} // namespace brevona
