#pragma once

#include <memory>

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "DriverCommandSink.h"
#include "DriverLink.h"
#include "KCLayerManager.h"
#include "KCSoftwareUpdates.h"

namespace brevona {

class DriverLauncher;
class KeyTranslator;
class PreferencesStore;

// The configurator's life cycle without its window: the support folders, the plugin bundles it
// ships, the layer manager, the driver (launched once, never twice) and the one path every command
// takes to it, opening files, and backup and restore of the layer store.
//
// Commands go through notifyDriverForCommand() (the layer manager sends through this object too).
// A command without a connected driver is dropped, as the driver reads the whole store when it
// starts; when commands were dropped, the next connection is followed by one "RefreshLayer" for
// the root, so a driver that was running all along (a broken link) catches up as well.
class AppController : public QObject, public DriverCommandSink
{
    Q_OBJECT
public:
    struct Environment
    {
        QString supportFolder;       // holds "Layers", "Background", "Plugins", "_Backup"
        QString installationsFolder; // the plugin bundles the configurator ships
        QString driverProgram;       // started when the user unit is not installed
        QString driverUnit = QStringLiteral("brevona-driver.service");
        QString busAddress; // empty: the session bus
        // What the layer manager's start-up needs for the built-in background layers.
        QList<KCLayerManager::Language> languages;
        std::shared_ptr<const KeyTranslator> translator;
        int currentLanguageID = 0;
        int driverStopTimeoutMs = 5000;
        // The update check; without a base address no check is ever scheduled.
        KCSoftwareUpdates::Options updates = {};
    };

    // The installed locations: platform Paths, the driver beside this program or on PATH.
    static Environment installedEnvironment();

    enum class EditorPane
    {
        DisplayAndAction,
        LanguageOptions,
        ControlButtons,
    };

    enum class Launch
    {
        AlreadyRunning, // a driver owns the command endpoint's name: nothing started
        StartedUnit,
        StartedProgram,
        Failed, // logged
    };

    struct Result
    {
        bool ok = false;
        QString message; // for the status line: what happened, or why nothing did
    };

    AppController(Environment environment, PreferencesStore &preferences, DriverLauncher &launcher,
                  DeleteConfirmation *confirmation = nullptr, QObject *parent = nullptr);
    ~AppController() override;

    // Start-up in the fixed order: unless "QuietMode", the installation is repaired; the folder
    // structure is repaired; the layer manager starts; the driver link connects; unless
    // "QuietMode", the driver is launched a moment later; the update checks are scheduled (the first
    // 2 s after start unless "QuietMode"). False when the layer store could not be loaded (the
    // manager's lastError() says why); the link works all the same.
    bool start();

    void repairFileStructure();
    void repairInstallations();
    Launch launchDriver();

    // The one path to the driver.
    DriverLink::SendResult notifyDriverForCommand(const QString &command, const QVariantMap &info = {});
    void sendCommand(const QString &command, const QVariantMap &info) override;
    DriverLink &driverLink() { return *m_link; }
    DriverLauncher &driverLauncher() { return m_launcher; }
    const Environment &environment() const { return m_env; }

    KCLayerManager &layerManager() { return *m_manager; }
    // The software updates; each activation of the application asks it to prompt.
    KCSoftwareUpdates &softwareUpdates() { return *m_updates; }
    // The pane for the layer manager's selection.
    EditorPane editorPane() const;

    // A 1312 x 376 picture becomes a new layer named after the file.
    Result openFile(const QString &path);

    // "Layers" (less the rebuilt "Defaults") replaces "_Backup".
    Result backupLayers();
    // "_Backup" replaces "Layers": the driver is stopped, the folders swapped, the layer manager
    // reloaded and the driver started again. Without a valid backup nothing changes.
    Result restoreLayers();

    // The progress panel of backup and restore was hidden: remembered as "ShowBackupRestorePanel".
    void hideBackupRestorePanel();

    QString layerStoreFolder() const;
    QString backupFolder() const;

Q_SIGNALS:
    // Around the replacement of the layer manager after a restore: drop every reference to it
    // before, take the new one after.
    void layerManagerAboutToReload();
    void layerManagerReloaded();
    void driverConnectionChanged(bool connected);

private:
    void connectionChanged(bool connected);
    bool startManager();
    bool stopDriver();

    Environment m_env;
    PreferencesStore &m_preferences;
    DriverLauncher &m_launcher;
    DeleteConfirmation *m_confirmation;
    std::unique_ptr<DriverLink> m_link;
    std::unique_ptr<KCLayerManager> m_manager;
    std::unique_ptr<KCSoftwareUpdates> m_updates;
    bool m_commandsDropped = false;
};

} // namespace brevona
