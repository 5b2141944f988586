#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace brevona {

// Copies the plugin bundles the configurator ships into the user's plugin folder, each only when
// it is newer than the user's copy. Versions ("CFBundleVersion") compare as version numbers, part
// by part, so "1.10" is newer than "1.9"; a user copy without a version counts as "0.0". A shipped
// bundle without a readable version is never installed, and a newer user copy is never replaced.
class PluginInstaller
{
public:
    struct Report
    {
        QStringList installed; // bundle folder names copied
        QStringList failed;    // bundle folder names whose copy failed (logged)
    };

    // Whether a shipped bundle of `shipped` version replaces a user copy of `installed` version
    // (nothing: no user copy, or one without a version).
    static bool shouldReplace(const QString &shipped, const std::optional<QString> &installed);

    static Report install(const QString &shippedFolder, const QString &userFolder);
};

} // namespace brevona
