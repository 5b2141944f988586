#pragma once

#include <QStringList>

class QTextStream;

namespace brevona {

class DriverCommandSink;
class PreferencesStore;

// brevona-layers' "prefs": the configurator's preferences read and changed as the preferences
// window changes them, with the same clamping and the same commands to the driver. It does not
// need the layer store.
class LayersPreferences
{
public:
    LayersPreferences(PreferencesStore &preferences, DriverCommandSink &driver, QTextStream &out,
                      QTextStream &err);

    static QString help();

    // `arguments` starts with "prefs". An exit status of LayersSubcommands.
    int run(const QStringList &arguments, bool plist);

private:
    int list(bool plist);
    int refuse(const QString &why);

    PreferencesStore &m_preferences;
    DriverCommandSink &m_driver;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace brevona
