#include "LayersPreferences.h"

#include <QTextStream>

#include "LayersSubcommands.h"
#include "PreferenceKeys.h"
#include "PreferencesController.h"
#include "PreferencesStore.h"
#include "PropertyList.h"

namespace brevona {

LayersPreferences::LayersPreferences(PreferencesStore &preferences, DriverCommandSink &driver,
                                     QTextStream &out, QTextStream &err)
    : m_preferences(preferences)
    , m_driver(driver)
    , m_out(out)
    , m_err(err)
{}

QString LayersPreferences::help()
{
    return QStringLiteral(
        "Usage: brevona-layers prefs [list | get KEY | set KEY VALUE]\n"
        "Reads or changes the configurator's preferences as its preferences window does: the\n"
        "keyboard's brightness (1-100) and sleep time (15-300 seconds) are stored clamped and sent\n"
        "to a running driver, as is the hybrid zone setup. VALUE is true/false, a number, text, a\n"
        "comma-separated list, or #rrggbb for the selection colour.\n");
}

int LayersPreferences::run(const QStringList &arguments, bool plist)
{
    const QString verb = arguments.value(1, QStringLiteral("list"));
    const qsizetype count = arguments.size();
    if (verb == QLatin1String("list") && count <= 2)
        return list(plist);
    PreferencesController controller(m_preferences, m_driver);
    if (verb == QLatin1String("get") && count == 3) {
        const QString key = arguments.at(2);
        const auto text = controller.textValue(key);
        if (!text)
            return refuse(QStringLiteral("\"%1\" is not a preference").arg(key));
        if (plist)
            m_out << PropertyList::toData(m_preferences.value(key)).value_or(QByteArray());
        else
            m_out << *text << '\n';
        return LayersSubcommands::Done;
    }
    if (verb == QLatin1String("set") && count == 4) {
        const QString key = arguments.at(2);
        const Result<QVariant> value = PreferencesController::parseText(key, arguments.at(3));
        if (!value)
            return refuse(value.error());
        if (!controller.setValue(key, *value)) {
            m_err << "brevona-layers: \"" << key << "\" could not be stored in " << m_preferences.path()
                  << '\n';
            return LayersSubcommands::Failed;
        }
        // The process ends next: the driver hears now what a window would send a moment later.
        controller.flush();
        return LayersSubcommands::Done;
    }
    return refuse(
        QStringLiteral("prefs takes list, get KEY or set KEY VALUE (see brevona-layers prefs --help)"));
}

int LayersPreferences::list(bool plist)
{
    PreferencesController controller(m_preferences, m_driver);
    QVariantMap values;
    for (const PreferenceKeys::Definition &definition : PreferenceKeys::definitions()) {
        if (plist)
            values.insert(definition.key, m_preferences.value(definition.key));
        else
            m_out << definition.key << " = " << controller.textValue(definition.key).value_or(QString())
                  << '\n';
    }
    if (plist)
        m_out << PropertyList::toData(values).value_or(QByteArray());
    return LayersSubcommands::Done;
}

int LayersPreferences::refuse(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return LayersSubcommands::BadInput;
}

} // namespace brevona
