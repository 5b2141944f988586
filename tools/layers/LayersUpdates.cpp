#include "LayersUpdates.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QTextStream>
#include <QVariantMap>

#include "KCSoftwareUpdates.h"
#include "LayersSubcommands.h"
#include "PropertyList.h"
#include "UpdateVersion.h"

namespace brevona {

LayersUpdates::LayersUpdates(PreferencesStore &preferences, QTextStream &out, QTextStream &err)
    : m_preferences(preferences)
    , m_out(out)
    , m_err(err)
{}

QString LayersUpdates::help()
{
    return QStringLiteral(
        "Usage: brevona-layers [--plist] updates check [--installed VERSION] [--timeout SECONDS]\n"
        "Asks the update server (BREVONA_UPDATE_URL overrides the built-in address) for the newest\n"
        "configurator, as the configurator does, and prints the installed and available versions and\n"
        "whether an update is offered. Versions compare as decimal numbers (1.10 is not newer than 1.9).\n"
        "Installs nothing. Exit status: 0 checked, 1 the server could not be asked, 2 its answer is\n"
        "unusable or the command line is wrong.\n\n"
        "Options:\n"
        "  --installed VERSION  Compare with this version instead of the installed one.\n"
        "  --timeout SECONDS    Give up when the server says nothing this long (default 10).\n");
}

int LayersUpdates::refuse(int status, const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return status;
}

int LayersUpdates::run(const QStringList &arguments, bool plist)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("installed"), QString(), QStringLiteral("VERSION")});
    parser.addOption({QStringLiteral("timeout"), QString(), QStringLiteral("SECONDS")});
    // The parser takes the first word ("updates") for the program's name.
    if (!parser.parse(arguments))
        return refuse(LayersSubcommands::BadInput, parser.errorText());
    const QStringList positional = parser.positionalArguments();
    if (positional != QStringList{QStringLiteral("check")})
        return refuse(LayersSubcommands::BadInput,
                      QStringLiteral("updates takes one action, check (see brevona-layers updates --help)"));

    KCSoftwareUpdates::Options options = KCSoftwareUpdates::Options::installed();
    if (parser.isSet(QStringLiteral("timeout"))) {
        bool number = false;
        const double seconds = parser.value(QStringLiteral("timeout")).toDouble(&number);
        if (!number || seconds <= 0 || seconds > 600)
            return refuse(LayersSubcommands::BadInput,
                          QStringLiteral("--timeout takes a number of seconds from 0 to 600, not %1")
                              .arg(parser.value(QStringLiteral("timeout"))));
        options.requestTimeoutMs = static_cast<int>(seconds * 1000);
    }
    if (parser.isSet(QStringLiteral("installed")))
        options.installedVersion = parser.value(QStringLiteral("installed"));
    KCSoftwareUpdates updates(options, m_preferences);
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&updates, &KCSoftwareUpdates::checkFinished, &loop, &QEventLoop::quit);
    QObject::connect(&updates, &KCSoftwareUpdates::checkFailed, &loop, [&] {
        failed = true;
        loop.quit();
    });
    updates.checkForUpdates();
    if (updates.isCheckingUpdates())
        loop.exec();

    if (failed) {
        const bool unusable = updates.lastErrorKind() != KCSoftwareUpdates::CheckError::Transfer;
        return refuse(unusable ? LayersSubcommands::BadInput : LayersSubcommands::Failed,
                      QStringLiteral("cannot check for updates at %1: %2")
                          .arg(options.baseUrl.toDisplayString(), updates.lastError()));
    }
    const QString available = updates.availableVersion();
    if (available.isEmpty())
        return refuse(LayersSubcommands::BadInput,
                      QStringLiteral("the version list at %1 names no configurator version")
                          .arg(options.baseUrl.toDisplayString()));
    if (!UpdateVersion::isNumeric(available))
        return refuse(LayersSubcommands::BadInput,
                      QStringLiteral("the server's version \"%1\" is not a number, so no update is offered")
                          .arg(available));

    const UpdateFeed &feed = *updates.updateInfo();
    if (plist) {
        m_out << PropertyList::toData(
                     QVariantMap{
                         {QStringLiteral("InstalledVersion"), updates.installedVersion()},
                         {QStringLiteral("AvailableVersion"), available},
                         {QStringLiteral("UpdateAvailable"), updates.configuratorUpdateAvailable()},
                         {QStringLiteral("Filename"), feed.filename},
                     })
                     .value_or(QByteArray());
        return LayersSubcommands::Done;
    }
    m_out << "Installed version: " << updates.installedVersion() << '\n';
    m_out << "Available version: " << available << '\n';
    if (updates.configuratorUpdateAvailable())
        m_out << "An update is offered"
              << (feed.filename.isEmpty() ? QString() : QStringLiteral(": ") + feed.filename) << '\n';
    else
        m_out << "No update is offered\n";
    return LayersSubcommands::Done;
}

} // namespace brevona
