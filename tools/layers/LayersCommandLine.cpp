#include "LayersCommandLine.h"

#include <algorithm>
#include <cstdio>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

#include "DriverLink.h"
#include "FirmwareDriverLink.h"
#include "KCFirmwareUpgrade.h"
#include "KCLayerManager.h"
#include "KCPluginManager.h"
#include "KeyboardLayouts.h"
#include "LanguageKeyTranslator.h"
#include "LanguagesHelper.h"
#include "LayersExchange.h"
#include "LayersFirmware.h"
#include "LayersLogging.h"
#include "LayersPlugins.h"
#include "LayersPreferences.h"
#include "LayersTextKeys.h"
#include "LayersUpdates.h"
#include "Paths.h"
#include "PreferencesStore.h"
#include "StoreNames.h"
#include "VolumeMonitor.h"
#include "linux/SystemdDriverLauncher.h"

namespace brevona {

namespace {

const QString PlistOption = QStringLiteral("--plist");
const QString BatchOption = QStringLiteral("--batch");
const QString VerboseOption = QStringLiteral("--verbose");
const QString PrefsSubcommand = QStringLiteral("prefs");
const QString PluginsSubcommand = QStringLiteral("plugins");
const QString UpdatesSubcommand = QStringLiteral("updates");
const QString FirmwareSubcommand = QStringLiteral("firmware");
// A batch is a script a person wrote: anything larger is a mistake, not a script.
constexpr qint64 MaxBatchBytes = 16 * 1024 * 1024;

bool isHelp(const QString &argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

} // namespace

void LayersCommandLine::quietLog()
{
    // Standard error carries the one line that says why a subcommand failed; the components' own
    // log lines (which repeat it, or tell of a session without a display) only with --verbose.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
}

LayersCommandLine::LayersCommandLine()
    : m_stdout(stdout)
    , m_stderr(stderr)
    , m_out(m_stdout)
    , m_err(m_stderr)
    , m_storeRoot(Paths::layerStoreFolder())
    , m_driver(this)
{}

LayersCommandLine::LayersCommandLine(QTextStream &out, QTextStream &err, const QString &storeRoot,
                                     DriverCommandSink *driver)
    : m_out(out)
    , m_err(err)
    , m_storeRoot(storeRoot)
    , m_driver(driver)
{}

LayersCommandLine::~LayersCommandLine() = default;

void LayersCommandLine::sendCommand(const QString &command, const QVariantMap &info)
{
    // The bus is reached only when an edit has something to tell.
    if (!m_link) {
        m_link = std::make_unique<DriverLink>();
        if (!m_link->setupDriverConnection())
            qCInfo(lcLayersTool, "No driver runs: it will read the changes when it starts");
    }
    m_link->notifyDriverForCommand(command, info);
}

int LayersCommandLine::run(const QStringList &arguments)
{
    QStringList rest = arguments;
    m_plist = rest.removeAll(PlistOption) > 0;
    if (rest.removeAll(VerboseOption) == 0)
        quietLog();
    if (rest.isEmpty()) {
        m_err << "brevona-layers: a subcommand is missing (see brevona-layers --help)\n";
        return finish(LayersSubcommands::BadInput);
    }
    if (isHelp(rest.first())) {
        m_out << LayersSubcommands::usage();
        return finish(LayersSubcommands::Done);
    }
    if (rest.first() == BatchOption) {
        if (rest.size() != 2) {
            m_err << "brevona-layers: --batch takes one file, or - for standard input\n";
            return finish(LayersSubcommands::BadInput);
        }
        return finish(runBatch(rest.at(1)));
    }
    return finish(runLine(rest, false));
}

int LayersCommandLine::finish(int status)
{
    m_out.flush();
    m_err.flush();
    // The process ends next: the bus must have every command before the connection closes.
    if (m_link && !m_link->flush())
        qCWarning(lcLayersTool, "The driver may have missed commands: the session bus did not take them");
    return status;
}

bool LayersCommandLine::load(bool readsOnly)
{
    if (m_manager)
        return true;
    const QString rootFile = QDir(m_storeRoot).filePath(storenames::GroupFile);
    if (readsOnly && !QFileInfo::exists(rootFile)) {
        m_err << "brevona-layers: there is no layer store in " << m_storeRoot
              << " (brevona-layers repair makes an empty one)\n";
        return false;
    }
    LanguagesHelper &languages = LanguagesHelper::shared();
    QList<KCLayerManager::Language> list;
    for (const int identifier : languages.availableLanguageIDs())
        list.append({identifier, languages.layoutForID(identifier), languages.languageNameForID(identifier)});
    auto manager = std::make_unique<KCLayerManager>(m_storeRoot, m_driver, &m_confirmation, nullptr);
    const auto outcome =
        manager->startup(list, std::make_shared<LanguageKeyTranslator>(KeyboardLayouts::instance()),
                         languages.currentLanguageID());
    if (outcome != KCLayerManager::Outcome::Done) {
        m_err << "brevona-layers: " << manager->lastError() << '\n';
        return false;
    }
    m_manager = std::move(manager);
    m_subcommands = std::make_unique<LayersSubcommands>(*m_manager, m_confirmation, m_out, m_err);
    return true;
}

int LayersCommandLine::runLine(QStringList arguments, bool inBatch)
{
    if (arguments.removeAll(PlistOption) > 0)
        m_plist = true;
    const QString name = arguments.value(0);
    if (name == BatchOption) {
        m_err << "brevona-layers: --batch cannot be nested\n";
        return LayersSubcommands::BadInput;
    }
    if (name == PrefsSubcommand) {
        if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
            m_out << LayersPreferences::help();
            return LayersSubcommands::Done;
        }
        if (!m_preferences)
            m_preferences = std::make_unique<PreferencesStore>(Paths::configuratorPreferencesFile());
        return LayersPreferences(*m_preferences, *m_driver, m_out, m_err).run(arguments, m_plist);
    }
    if (name == PluginsSubcommand) {
        if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
            m_out << LayersPlugins::help();
            return LayersSubcommands::Done;
        }
        const KCPluginManager catalogue;
        return LayersPlugins(catalogue, m_out, m_err).run(arguments, m_plist);
    }
    if (name == UpdatesSubcommand) {
        if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
            m_out << LayersUpdates::help();
            return LayersSubcommands::Done;
        }
        if (!m_preferences)
            m_preferences = std::make_unique<PreferencesStore>(Paths::configuratorPreferencesFile());
        return LayersUpdates(*m_preferences, m_out, m_err).run(arguments, m_plist);
    }
    if (name == FirmwareSubcommand) {
        if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
            m_out << LayersFirmware::help();
            return LayersSubcommands::Done;
        }
        return runFirmware(arguments);
    }
    if (LayersTextKeys::serves(name)) {
        if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
            m_out << LayersTextKeys::help(name);
            return LayersSubcommands::Done;
        }
        if (!load(false))
            return LayersSubcommands::Failed;
        return LayersTextKeys(*m_manager, m_out, m_err).run(arguments);
    }
    if (LayersExchange::serves(name)) {
        if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
            m_out << LayersExchange::help(name);
            return LayersSubcommands::Done;
        }
        if (!load(false))
            return LayersSubcommands::Failed;
        LayersSubcommands &subcommands = *m_subcommands;
        const auto resolve = [&subcommands](const QString &reference) {
            return subcommands.resolve(reference);
        };
        return LayersExchange(*m_manager, resolve, m_out, m_err).run(arguments, m_plist);
    }
    if (!LayersSubcommands::exists(name)) {
        m_err << "brevona-layers: unknown subcommand " << name << " (see brevona-layers --help)\n";
        return LayersSubcommands::BadInput;
    }
    if (std::any_of(arguments.cbegin() + 1, arguments.cend(), isHelp)) {
        m_out << LayersSubcommands::help(name);
        return LayersSubcommands::Done;
    }
    if (!load(LayersSubcommands::readsOnly(name)))
        return LayersSubcommands::Failed;
    return m_subcommands->run(arguments, m_plist, inBatch);
}

int LayersCommandLine::runFirmware(const QStringList &arguments)
{
    // The keyboard's volume as the driver finds it (the simulated one when
    // BREVONA_SIMULATED_KEYBOARD names it), and the session's driver.
    const auto volumes = VolumeMonitor::create();
    if (!m_link)
        m_link = std::make_unique<DriverLink>();
    SystemdDriverLauncher launcher;
    FirmwareDriverLink driver(*m_link, launcher, {.program = FirmwareDriverLink::installedDriverProgram()});
    int status = LayersSubcommands::Failed;
    {
        KCFirmwareUpgrade upgrade(*volumes, driver, KCFirmwareUpgrade::shippedImagePath());
        status = LayersFirmware(upgrade, m_out, m_err).run(arguments, m_plist);
    }
    // A failed upgrade restarts the driver: the old one must be gone before the new one starts.
    if (driver.isBusy()) {
        QEventLoop loop;
        QObject::connect(&driver, &FirmwareDriverLink::resumed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return status;
}

int LayersCommandLine::runBatch(const QString &source)
{
    QFile file;
    bool opened = false;
    if (source == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(source);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        m_err << "brevona-layers: cannot read " << source << ": " << file.errorString() << '\n';
        return LayersSubcommands::BadInput;
    }
    const QByteArray bytes = file.read(MaxBatchBytes + 1);
    if (bytes.size() > MaxBatchBytes) {
        m_err << "brevona-layers: " << source << " is larger than " << MaxBatchBytes << " bytes\n";
        return LayersSubcommands::BadInput;
    }
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (qsizetype number = 0; number < lines.size(); ++number) {
        const QString line = lines.at(number).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int status = runLine(QProcess::splitCommand(line), true);
        if (status != LayersSubcommands::Done) {
            m_err << "brevona-layers: stopped at line " << number + 1 << " of " << source << '\n';
            return status;
        }
    }
    return LayersSubcommands::Done;
}

} // namespace brevona
