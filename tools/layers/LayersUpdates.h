#pragma once

#include <QStringList>

class QTextStream;

namespace brevona {

class PreferencesStore;

// brevona-layers' "updates check": the configurator's update check, once, for scripts. It asks the
// update server (BREVONA_UPDATE_URL overrides the compiled address) as the configurator does and
// prints the installed and available versions and whether an update is offered. It installs
// nothing. Exit 0 when the check completed, 1 when the server could not be asked (no answer, an
// error status, an answer too large), 2 when its answer is unusable (no property list, an HTML
// page, no version, a version that is no number, a package that is no plain file name) or the
// command line is wrong.
class LayersUpdates
{
public:
    LayersUpdates(PreferencesStore &preferences, QTextStream &out, QTextStream &err);

    static QString help();

    // `arguments` starts with "updates". An exit status of LayersSubcommands.
    int run(const QStringList &arguments, bool plist);

private:
    int refuse(int status, const QString &why);

    PreferencesStore &m_preferences;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace brevona
