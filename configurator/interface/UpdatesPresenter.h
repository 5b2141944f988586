#pragma once

#include <memory>

#include <QObject>

namespace brevona {

class AppController;
class FirmwareDriverLink;
class KCFirmwareUpgrade;
class KCSoftwareUpdates;
class PreferencesStore;
class UpdatesWindow;
class VolumeMonitor;

// Shows the update check's and the firmware upgrade's state in the updates window and turns the
// window's gestures into calls on them; raises the window when an update or a keyboard asks to be
// noticed.
class UpdatesPresenter : public QObject
{
    Q_OBJECT
public:
    UpdatesPresenter(AppController &controller, PreferencesStore &preferences, UpdatesWindow &window,
                     QObject *parent = nullptr);
    ~UpdatesPresenter() override;

    // The window's pages show the state again.
    void showSoftware();
    void showFirmware();
    KCFirmwareUpgrade &firmware() { return *m_firmware; }

signals:
    // Whether an update is offered changed: the toolbar's item follows.
    void updateAvailableChanged(bool available);

private:
    void setMessage(const QString &message);
    void connectFirmware();

    KCSoftwareUpdates &m_updates;
    PreferencesStore &m_preferences;
    UpdatesWindow &m_window;
    QString m_message;
    bool m_available = false;
    std::unique_ptr<VolumeMonitor> m_volumes;
    std::unique_ptr<FirmwareDriverLink> m_driver;
    std::unique_ptr<KCFirmwareUpgrade> m_firmware;
    bool m_upgrading = false;
    QString m_firmwareStatus; // "Waiting for keyboard..." or why the upgrade failed
};

} // namespace brevona
