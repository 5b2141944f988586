#pragma once

#include <QObject>
#include <QString>

#include "FirmwareDriverControl.h"

class QTimer;

namespace brevona {

class DriverLauncher;
class DriverLink;

// The driver as the configurator reaches it: commands over the driver link, starting through the
// launcher (its systemd user unit when installed, else the program).
//
// The driver lets go of the volume on "ForceDeviceStop" and looks for the keyboard again only when
// a volume is mounted or the driver starts. So to take the keyboard back when no reconnect comes,
// the driver that was told to let go is restarted: its unit is restarted, or it is told
// "Terminate" and, once it has left the bus (or after stopTimeoutMs), the program is started.
// A driver that did not run when the upgrade began is not started.
class FirmwareDriverLink : public QObject, public FirmwareDriverControl
{
    Q_OBJECT
public:
    struct Setup
    {
        QString unit = QStringLiteral("brevona-driver.service");
        QString program; // started when the unit is not installed; empty: nothing to start
        int stopTimeoutMs = 5000;
    };

    // The driver program beside this program, else on the PATH; empty when there is none.
    static QString installedDriverProgram();

    FirmwareDriverLink(DriverLink &link, DriverLauncher &launcher, Setup setup, QObject *parent = nullptr);
    ~FirmwareDriverLink() override;

    void releaseKeyboard() override;
    void resumeKeyboard() override;

    // A restart waiting for the old driver to leave.
    bool isBusy() const;

Q_SIGNALS:
    // After resumeKeyboard(): whether a driver was started (false: none was needed, or it failed).
    void resumed(bool started);

private:
    void start();

    DriverLink &m_link;
    DriverLauncher &m_launcher;
    Setup m_setup;
    bool m_released = false; // a driver was running when told to let go
    QTimer *m_stopTimer = nullptr;
    QMetaObject::Connection m_waitForExit;
};

} // namespace brevona
