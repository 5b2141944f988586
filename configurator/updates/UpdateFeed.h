#pragma once

#include <QByteArray>
#include <QString>

#include "Result.h"

namespace brevona {

// The version list of the update server ("versions.xml"): a property list of which only
// "Configurator" / "Version" and "Configurator" / "Filename" are read.
struct UpdateFeed
{
    QString version;  // empty when the list names none
    QString filename; // the package under "data/"; empty when the list names none

    // The longest file name a package may have.
    static constexpr qsizetype kMaxFilenameLength = 255;

    // A version list from the server's bytes. Refused (with the reason) when the bytes are no
    // property list (an HTML page is named as such), when the top level is no dictionary, or when
    // "Filename" is present but not a plain file name.
    static Result<UpdateFeed> parse(const QByteArray &bytes);

    // A plain file name: letters, digits, space, ".", "_", "-", "+", "~", "(" and ")", not
    // starting with "." or a space, at most kMaxFilenameLength characters. So no folder, "..",
    // query, fragment, percent escape or scheme can reach the address built from it.
    static bool isPlainFilename(const QString &name);
};

} // namespace brevona
