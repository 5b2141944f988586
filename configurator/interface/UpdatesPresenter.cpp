#include "UpdatesPresenter.h"

#include <QApplication>

#include "AppController.h"
#include "FirmwareDriverLink.h"
#include "KCFirmwareUpgrade.h"
#include "KCSoftwareUpdates.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "UpdatesWindow.h"
#include "VolumeMonitor.h"

namespace brevona {

namespace {

// The page's white is the text colour of a dark window: here the palette's own.
QColor toneColor(KCFirmwareStatus::Tone tone)
{
    return tone == KCFirmwareStatus::Tone::White ? QColor() : KCFirmwareStatus::color(tone);
}

} // namespace

UpdatesPresenter::UpdatesPresenter(AppController &controller, PreferencesStore &preferences,
                                   UpdatesWindow &window, QObject *parent)
    : QObject(parent)
    , m_updates(controller.softwareUpdates())
    , m_preferences(preferences)
    , m_window(window)
    , m_volumes(VolumeMonitor::create())
    , m_driver(std::make_unique<FirmwareDriverLink>(
          controller.driverLink(), controller.driverLauncher(),
          FirmwareDriverLink::Setup{.unit = controller.environment().driverUnit,
                                    .program = controller.environment().driverProgram}))
    , m_firmware(
          std::make_unique<KCFirmwareUpgrade>(*m_volumes, *m_driver, KCFirmwareUpgrade::shippedImagePath()))
{
    KCSoftwareUpdates &updates = m_updates;
    connect(&updates, &KCSoftwareUpdates::checkingChanged, this, &UpdatesPresenter::showSoftware);
    connect(&updates, &KCSoftwareUpdates::checkFinished, this, [this] { setMessage(QString()); });
    connect(&updates, &KCSoftwareUpdates::checkFailed, this, &UpdatesPresenter::setMessage);
    connect(&updates, &KCSoftwareUpdates::descriptionChanged, this, &UpdatesPresenter::showSoftware);
    connect(&updates, &KCSoftwareUpdates::installManaged, this, &UpdatesPresenter::setMessage);
    connect(&updates, &KCSoftwareUpdates::installFailed, this, &UpdatesPresenter::setMessage);
    connect(&updates, &KCSoftwareUpdates::installHandedOff, this, [this] {
        setMessage(tr("The update is verified and handed to the updater, which restarts the programs."));
    });
    connect(&updates, &KCSoftwareUpdates::installProgress, this, [this](qint64 received, qint64 total) {
        setMessage(total > 0 ? tr("Downloading the update: %1 %").arg(received * 100 / total)
                             : tr("Downloading the update: %1 KiB").arg(received / 1024));
    });
    connect(&updates, &KCSoftwareUpdates::promptUpdate, this, [this](bool playSound) {
        if (playSound)
            QApplication::beep();
        m_window.present(UpdatesWindow::SoftwarePage);
    });
    connect(&window, &UpdatesWindow::checkRequested, &updates, &KCSoftwareUpdates::checkForUpdates);
    connect(&window, &UpdatesWindow::installRequested, &updates, &KCSoftwareUpdates::performUpdate);
    connect(&window, &UpdatesWindow::automaticChecksChanged, this,
            [this](bool on) { m_preferences.setValue(PreferenceKeys::GeneralCheckForUpdates, on); });
    connect(&preferences, &PreferencesStore::valueChanged, this, [this](const QString &key) {
        if (key == PreferenceKeys::GeneralCheckForUpdates)
            m_window.setAutomaticChecks(m_preferences.boolValue(key));
    });
    m_window.setAutomaticChecks(m_preferences.boolValue(PreferenceKeys::GeneralCheckForUpdates));
    showSoftware();
    connectFirmware();
}

UpdatesPresenter::~UpdatesPresenter() = default;

void UpdatesPresenter::connectFirmware()
{
    KCFirmwareUpgrade &page = *m_firmware;
    connect(&page, &KCFirmwareUpgrade::statusChanged, this, &UpdatesPresenter::showFirmware);
    connect(&page, &KCFirmwareUpgrade::chosenFileChanged, this, &UpdatesPresenter::showFirmware);
    connect(&page, &KCFirmwareUpgrade::upgradeStarted, this, [this] {
        m_upgrading = true;
        m_firmwareStatus.clear();
        showFirmware();
    });
    connect(&page, &KCFirmwareUpgrade::imageWritten, this, [this] {
        m_upgrading = false;
        m_firmwareStatus = KCFirmwareStatus::WaitingText;
        showFirmware();
    });
    connect(&page, &KCFirmwareUpgrade::upgradeFailed, this, [this](const QString &message) {
        m_upgrading = false;
        m_firmwareStatus = message;
        showFirmware();
    });
    connect(&page, &KCFirmwareUpgrade::upgradeInProgressChanged, this, [this](bool inProgress) {
        // The lock's end checks the keyboard again; its state speaks from then on.
        if (!inProgress)
            m_firmwareStatus.clear();
        showFirmware();
    });
    connect(&page, &KCFirmwareUpgrade::attentionRequested, this, [this] {
        QApplication::beep();
        QApplication::alert(&m_window);
    });
    connect(&m_window, &UpdatesWindow::firmwareModeChanged, this, [this](bool fromFile) {
        m_firmware->setFirmwareUpdateMode(fromFile ? FirmwareUpdateMode::ChosenFile
                                                   : FirmwareUpdateMode::ShippedImage);
    });
    connect(&m_window, &UpdatesWindow::firmwareFileChosen, this, [this](const QString &path) {
        m_firmwareStatus = m_firmware->setCustomUpgradeBinPath(path).value_or(QString());
        showFirmware();
    });
    connect(&m_window, &UpdatesWindow::upgradeRequested, this, [this] { m_firmware->updateFirmware(); });
    connect(&m_window, &UpdatesWindow::activeChanged, this, [this](bool active) {
        m_firmware->setWindowVisible(m_window.isVisible());
        if (active)
            m_firmware->startWindowChecks();
        else if (!m_window.isVisible())
            m_firmware->stopWindowChecks();
    });
    m_firmware->updateKeyboardStatus();
}

void UpdatesPresenter::showFirmware()
{
    const KCFirmwareStatus &status = m_firmware->status();
    UpdatesWindow::Firmware firmware;
    firmware.connected = status.connected;
    firmware.installed = status.currentText;
    firmware.available = status.availableText;
    firmware.availableLabel = status.sourceLabel;
    firmware.availableColour = toneColor(status.availableTone);
    firmware.buttonTitle = status.buttonTitle;
    firmware.buttonEnabled = status.buttonEnabled && !m_firmware->isUpgradeInProgress();
    firmware.upgrading = m_upgrading;
    firmware.fromFile = m_firmware->firmwareUpdateMode() == FirmwareUpdateMode::ChosenFile;
    firmware.chosenFile = m_firmware->customUpgradeBinPath().value_or(QString());
    firmware.status = m_firmwareStatus;
    m_window.showFirmware(firmware);
}

void UpdatesPresenter::setMessage(const QString &message)
{
    m_message = message;
    showSoftware();
}

void UpdatesPresenter::showSoftware()
{
    UpdatesWindow::Software software;
    software.installed = m_updates.installedVersion();
    software.available = m_updates.availableVersion();
    software.updateAvailable = m_updates.configuratorUpdateAvailable() && !m_updates.isInstalling();
    software.checking = m_updates.isCheckingUpdates();
    software.notes = m_updates.descriptionHtml();
    software.notesFormat = Qt::RichText;
    if (software.notes.isEmpty()) {
        software.notes = tr("The release notes arrive with the next check.");
        software.notesFormat = Qt::PlainText;
    }
    software.message = m_message;
    m_window.showSoftware(software);
    if (m_updates.configuratorUpdateAvailable() != m_available) {
        m_available = m_updates.configuratorUpdateAvailable();
        emit updateAvailableChanged(m_available);
    }
}

} // namespace brevona
