#include "AppController.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QStandardPaths>
#include <QTimer>

#include "AppLogging.h"
#include "CommandNames.h"
#include "DriverLauncher.h"
#include "FolderSwap.h"
#include "KCImportExportManager.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "Paths.h"
#include "PluginInstaller.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "StoreWriter.h"

namespace brevona {

namespace {

const QString BackupName = QStringLiteral("_Backup");
const QString DriverName = QStringLiteral("BrevonaDriver");
constexpr int LaunchDelayMs = 100;

} // namespace

AppController::Environment AppController::installedEnvironment()
{
    Environment env;
    env.supportFolder = Paths::supportFolder();
    env.installationsFolder = QDir(Paths::resourceFolder()).filePath(QStringLiteral("Installations"));
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(DriverName);
    env.driverProgram =
        QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(DriverName);
    env.updates = KCSoftwareUpdates::Options::installed();
    env.updates.driverPath = env.driverProgram;
    return env;
}

AppController::AppController(Environment environment, PreferencesStore &preferences, DriverLauncher &launcher,
                             DeleteConfirmation *confirmation, QObject *parent)
    : QObject(parent)
    , m_env(std::move(environment))
    , m_preferences(preferences)
    , m_launcher(launcher)
    , m_confirmation(confirmation)
    , m_link(std::make_unique<DriverLink>(m_env.busAddress))
    , m_manager(std::make_unique<KCLayerManager>(layerStoreFolder(), this, m_confirmation, &m_preferences))
    , m_updates(std::make_unique<KCSoftwareUpdates>(m_env.updates, m_preferences))
{
    connect(m_link.get(), &DriverLink::connectionChanged, this, &AppController::connectionChanged);
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive)
                        m_updates->tryToPromptUpdate();
                });
    }
}

AppController::~AppController()
{
    if (m_manager)
        m_manager->flushPictureSaves();
}

QString AppController::layerStoreFolder() const
{
    return QDir(m_env.supportFolder).filePath(QStringLiteral("Layers"));
}

QString AppController::backupFolder() const
{
    return QDir(m_env.supportFolder).filePath(BackupName);
}

bool AppController::start()
{
    const bool quiet = m_preferences.boolValue(PreferenceKeys::QuietMode);
    if (!quiet)
        repairInstallations();
    repairFileStructure();
    const bool loaded = startManager();
    m_link->setupDriverConnection();
    if (!quiet)
        QTimer::singleShot(LaunchDelayMs, this, [this] { launchDriver(); });
    m_updates->startScheduledChecks();
    return loaded;
}

bool AppController::startManager()
{
    const auto outcome = m_manager->startup(m_env.languages, m_env.translator, m_env.currentLanguageID);
    if (outcome != KCLayerManager::Outcome::Done) {
        qCWarning(lcApp).noquote() << m_manager->lastError();
        return false;
    }
    return true;
}

void AppController::repairFileStructure()
{
    const QDir support(m_env.supportFolder);
    for (const QString &name : {QStringLiteral("Layers"), QStringLiteral("Background")}) {
        if (!support.mkpath(name))
            qCWarning(lcApp).noquote() << "The folder" << support.filePath(name) << "cannot be created";
    }
    // The root "Group.plist" is written by the layer manager's start-up when it is missing.
}

void AppController::repairInstallations()
{
    const QDir support(m_env.supportFolder);
    for (const QString &name :
         {QStringLiteral("Plugins"), QStringLiteral("Layers"), QStringLiteral("Background")})
        support.mkpath(name);
    // The driver program itself is installed by the package, not copied into the support folder.
    if (!m_env.installationsFolder.isEmpty())
        PluginInstaller::install(m_env.installationsFolder, support.filePath(QStringLiteral("Plugins")));
}

AppController::Launch AppController::launchDriver()
{
    if (m_link->setupDriverConnection())
        return Launch::AlreadyRunning;
    if (m_launcher.hasUserUnit(m_env.driverUnit)) {
        if (m_launcher.startUserUnit(m_env.driverUnit))
            return Launch::StartedUnit;
        return Launch::Failed;
    }
    if (m_env.driverProgram.isEmpty() || !QFileInfo(m_env.driverProgram).isExecutable()) {
        qCWarning(lcApp).noquote() << "The driver program" << DriverName
                                   << "is not installed; the keyboard will follow once it runs";
        return Launch::Failed;
    }
    return m_launcher.startProgram(m_env.driverProgram) ? Launch::StartedProgram : Launch::Failed;
}

DriverLink::SendResult AppController::notifyDriverForCommand(const QString &command, const QVariantMap &info)
{
    const auto result = m_link->notifyDriverForCommand(command, info);
    if (result == DriverLink::SendResult::NoDriver || result == DriverLink::SendResult::Failed)
        m_commandsDropped = true;
    return result;
}

void AppController::sendCommand(const QString &command, const QVariantMap &info)
{
    notifyDriverForCommand(command, info);
}

void AppController::connectionChanged(bool connected)
{
    if (connected && m_commandsDropped) {
        m_commandsDropped = false;
        notifyDriverForCommand(commands::RefreshLayer,
                               {{commands::keys::LayerId, KCLayerManager::RootIdentifier}});
    }
    Q_EMIT driverConnectionChanged(connected);
}

AppController::EditorPane AppController::editorPane() const
{
    const auto layer = m_manager->currentLayer();
    if (m_manager->selection().size() == 1 && layer) {
        if (std::dynamic_pointer_cast<KCLanguageLayer>(layer))
            return EditorPane::LanguageOptions;
        if (layer->UUID() == KCKeyboardDefaultLayer::Identifier)
            return EditorPane::ControlButtons;
    }
    return EditorPane::DisplayAndAction;
}

AppController::Result AppController::openFile(const QString &path)
{
    const QFileInfo file(path);
    KCImportExportManager exchange(*m_manager);
    if (file.suffix().compare(KCImportExportManager::ArchiveExtension, Qt::CaseInsensitive) == 0) {
        const auto report = exchange.importLayersFile(path);
        if (!report)
            return {false,
                    QStringLiteral("%1 could not be imported: %2").arg(file.fileName(), report.error())};
        return {true, QStringLiteral("%1: %2 layers imported").arg(file.fileName()).arg(report->layers)};
    }
    // One undo step: the new layer with the keys its picture shows, told to the driver once.
    const auto layer = exchange.importPictureFile(path);
    if (!layer)
        return {false, layer.error()};
    return {true, QStringLiteral("%1 opened as a new layer").arg(file.fileName())};
}

AppController::Result AppController::backupLayers()
{
    m_manager->flushPictureSaves();
    // The background layers are rebuilt at start-up, so the backup leaves them out.
    const auto result =
        FolderSwap(layerStoreFolder(), backupFolder(), {KCLayerManager::DefaultsIdentifier}).run();
    if (!result.replaced) {
        qCWarning(lcApp).noquote() << "Backup failed:" << result.error;
        return {false, QStringLiteral("Backup failed: %1").arg(result.error)};
    }
    return {true, QStringLiteral("The layers were backed up")};
}

void AppController::hideBackupRestorePanel()
{
    m_preferences.setValue(PreferenceKeys::ShowBackupRestorePanel, false);
}

bool AppController::stopDriver()
{
    if (m_launcher.hasUserUnit(m_env.driverUnit))
        m_launcher.stopUserUnit(m_env.driverUnit);
    if (!m_link->setupDriverConnection())
        return true;
    notifyDriverForCommand(commands::Terminate);
    QEventLoop wait;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &wait, &QEventLoop::quit);
    connect(m_link.get(), &DriverLink::connectionChanged, &wait, &QEventLoop::quit);
    timeout.start(m_env.driverStopTimeoutMs);
    while (m_link->isConnected() && timeout.isActive())
        wait.exec();
    return !m_link->isConnected();
}

AppController::Result AppController::restoreLayers()
{
    const auto root = PropertyList::readDictionary(QDir(backupFolder()).filePath(StoreWriter::GroupFile));
    if (!root || !root->value(QStringLiteral("ItemOrder")).canConvert<QVariantList>()) {
        const QString why =
            QStringLiteral("No valid backup in %1; the layers were not changed").arg(backupFolder());
        qCWarning(lcApp).noquote() << why;
        return {false, why};
    }
    m_manager->flushPictureSaves();
    const bool stopped = stopDriver();
    if (!stopped)
        qCWarning(lcApp) << "The driver did not stop; it is told to reload after the restore";
    const auto result = FolderSwap(backupFolder(), layerStoreFolder()).run();
    if (!result.replaced) {
        qCWarning(lcApp).noquote() << "Restore failed:" << result.error;
        if (stopped)
            launchDriver();
        return {false, QStringLiteral("Restore failed: %1").arg(result.error)};
    }
    Q_EMIT layerManagerAboutToReload();
    m_manager = std::make_unique<KCLayerManager>(layerStoreFolder(), this, m_confirmation, &m_preferences);
    const bool loaded = startManager();
    Q_EMIT layerManagerReloaded();
    if (stopped)
        launchDriver();
    else
        notifyDriverForCommand(commands::RefreshLayer,
                               {{commands::keys::LayerId, KCLayerManager::RootIdentifier}});
    if (!loaded)
        return {
            false,
            QStringLiteral("The backup was restored but cannot be loaded: %1").arg(m_manager->lastError())};
    return {true, QStringLiteral("The layers were restored from the backup")};
}

} // namespace brevona
