#pragma once

#include <optional>

#include <QObject>
#include <QString>

#include "FirmwareImage.h"
#include "FirmwareTarget.h"
#include "KCFirmwareStatus.h"

class QTimer;

namespace brevona {

class FirmwareDriverControl;
class VolumeMonitor;

// The firmware page's logic without its window: where the keyboard's folder is, which versions the
// keyboard and the offered image carry, what the page shows, and the upgrade itself.
//
// The keyboard's folder is "vLumivox" on the volume the volume monitor reports as the keyboard's
// (by its device, as the driver finds it). Status checks run on updateKeyboardStatus(), 1.5 s after
// any volume is mounted or unmounted, every 4 s between startWindowChecks() and stopWindowChecks()
// (while the window is the active one), and when an upgrade's 10 s lock ends; never during the lock.
//
// updateFirmware() checks everything first (the keyboard connected, its "upgrade.bin" a regular
// file, the image a regular file with a version and of the same size) and only then tells the
// driver "ForceDeviceStop"; 2 s later the image read at the check is written over "upgrade.bin" in
// place and synced. A refusal or a failed write is upgradeFailed() with one line; a write that did
// not happen after the driver let go (a failure, abandon(), destruction during the pause) gives the
// keyboard back to the driver.
class KCFirmwareUpgrade : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        int volumeSettleMs = 1500;
        int windowCheckMs = 4000;
        int lockMs = 10000;
        int driverPauseMs = 2000;
    };

    static const QString VersionFile; // "version.sys"
    static const QString ImageFile;   // "upgrade.bin"

    // `shippedImage`: the image that comes with the configurator (see shippedImagePath()).
    KCFirmwareUpgrade(VolumeMonitor &volumes, FirmwareDriverControl &driver, QString shippedImage,
                      QObject *parent = nullptr);
    ~KCFirmwareUpgrade() override;

    // "upgrade.bin" in the program's resource folder.
    static QString shippedImagePath();

    void setTiming(const Timing &timing);
    // For tests: the system calls of the image write.
    void setTargetIo(FirmwareTarget::Io io);

    // The path of `file` in the keyboard's folder; nothing without a keyboard.
    std::optional<QString> virtualDiskPathForFile(const QString &file) const;

    const KCFirmwareStatus &status() const { return m_status; }
    // Checks now (skipped during an upgrade) and emits statusChanged().
    void updateKeyboardStatus();
    void startWindowChecks();
    void stopWindowChecks();
    // Tells the page whether its window is on screen: the attention signal is only for a visible page.
    void setWindowVisible(bool visible);

    FirmwareUpdateMode firmwareUpdateMode() const { return m_mode; }
    // Clears the chosen file and checks again.
    void setFirmwareUpdateMode(FirmwareUpdateMode mode);
    const std::optional<QString> &customUpgradeBinPath() const { return m_customPath; }
    // A leading "~" is the home folder. The file is kept only when it is a regular file (not a
    // link, a FIFO or a folder) carrying a version; otherwise the chosen file is cleared and the
    // one-line reason returned. An empty path clears it. Checks the status again either way.
    std::optional<QString> setCustomUpgradeBinPath(const QString &path);
    // The image offered: the chosen file, else the shipped one.
    QString sourceImagePath() const;

    // The button. False when refused (upgradeFailed() says why) or while an upgrade is in its lock
    // (then nothing at all happens).
    bool updateFirmware();
    // Gives up an upgrade still waiting for the driver to let go: nothing is written and the
    // driver takes the keyboard again. False when there was no such wait.
    bool abandon();
    // The 10 s lock of an upgrade.
    bool isUpgradeInProgress() const { return m_inProgress; }
    // The image was told to the driver and not written yet.
    bool isWritePending() const;

Q_SIGNALS:
    void statusChanged(const KCFirmwareStatus &status);
    // The keyboard has just become connected with an older firmware than offered while the page is
    // visible: a sound and a request for the user's attention.
    void attentionRequested();
    void chosenFileChanged(const std::optional<QString> &path);
    void upgradeInProgressChanged(bool inProgress);
    // The driver was told to let go; the progress bar runs.
    void upgradeStarted();
    // The image is on the keyboard; the status reads "Waiting for keyboard...".
    void imageWritten();
    // One line: refused before anything happened, or the write failed.
    void upgradeFailed(const QString &message);

private:
    struct Prepared
    {
        FirmwareImage image;
        QString target;
        FirmwareTarget::Identity identity;
    };
    std::optional<QString> keyboardFolder() const;
    Result<Prepared> prepare() const;
    void delayedUpdateFirmware();
    void reenabledUpdateButton();
    void fail(const QString &message, bool driverReleased);

    VolumeMonitor &m_volumes;
    FirmwareDriverControl &m_driver;
    QString m_shippedImage;
    Timing m_timing;
    FirmwareTarget::Io m_io;
    KCFirmwareStatus m_status;
    bool m_lastConnectedStatus = false;
    bool m_windowVisible = false;
    bool m_inProgress = false;
    FirmwareUpdateMode m_mode = FirmwareUpdateMode::ShippedImage;
    std::optional<QString> m_customPath;
    std::optional<Prepared> m_pending;
    QTimer *m_volumeTimer = nullptr;
    QTimer *m_windowTimer = nullptr;
    QTimer *m_lockTimer = nullptr;
    QTimer *m_pauseTimer = nullptr;
};

} // namespace brevona
