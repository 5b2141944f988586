#include "UpdatesPresenter.h"

#include <QApplication>

#include "KCSoftwareUpdates.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "UpdatesWindow.h"

namespace brevona {

UpdatesPresenter::UpdatesPresenter(KCSoftwareUpdates &updates, PreferencesStore &preferences,
                                   UpdatesWindow &window, QObject *parent)
    : QObject(parent)
    , m_updates(updates)
    , m_preferences(preferences)
    , m_window(window)
{
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
