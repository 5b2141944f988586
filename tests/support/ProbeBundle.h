#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QVariantMap>

#include "PropertyList.h"

namespace brevona::test {

// A plugin bundle "<folder>/<name>.plugin" that runs the probe test plugin's code (tests/plugins)
// under the information dictionary `info` (its "CFBundleExecutable" is set here): catalogues of
// named plugins in the categories a test needs. False when the bundle cannot be made.
inline bool makeProbeBundle(const QString &plugins, const QString &folder, const QString &name,
                            QVariantMap info)
{
    const QString contents = folder + QLatin1Char('/') + name + QStringLiteral(".plugin/Contents");
    info.insert(QStringLiteral("CFBundleExecutable"), QStringLiteral("Probe"));
    return QDir().mkpath(contents + QStringLiteral("/Linux")) &&
           PropertyList::writeFile(contents + QStringLiteral("/Info.plist"), info) &&
           QFile::link(plugins + QStringLiteral("/Probe.plugin/Contents/Linux/Probe.so"),
                       contents + QStringLiteral("/Linux/Probe.so"));
}

} // namespace brevona::test
