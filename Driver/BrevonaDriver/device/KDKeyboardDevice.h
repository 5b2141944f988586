#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "AutoResetEvent.h"
#include "VolumeLayout.h"

namespace brevona {

class KCLumivoxImage;
class KDModifierMappingReader;
class KDVolumeSession;
class Notification;
class VolumeMonitor;
struct BlockDeviceIdentity;

// The driver's one link to the keyboard, which shows itself as a small removable volume: every
// picture, the display enable table, the key-code table and the brightness and sleep orders travel
// as files in its "vLumivox" folder. The device finds the volume and follows it across mounts,
// unmounts and desktop switches, and one writer thread performs every write to it in order, fed by
// a queue that keeps only the newest pending picture of each display. Producers hold the device's
// lock only to queue; the writer holds it only to dequeue and never while it writes, so a slow or
// stuck keyboard never holds up the main thread.
class KDKeyboardDevice : public QObject
{
    Q_OBJECT
public:
    static constexpr int DisplayCount = volumelayout::DisplayCount;

    // The pauses that give the keyboard's firmware time to take each file, and the waits before
    // a new volume is probed and the settings are read.
    struct Timing
    {
        std::chrono::milliseconds afterFileWrite{100};
        std::chrono::milliseconds afterScancodes{300};
        std::chrono::milliseconds mountProbeDelay{2000};
        std::chrono::milliseconds settingsDelay{2000};
        // Probes after a mount or a switch-in, each mountProbeDelay after the one before, while
        // the system does not know the volume's device yet or its display files are missing.
        int probeAttempts = 5;
    };

    struct Environment
    {
        std::unique_ptr<VolumeMonitor> volumes;
        // The system's modifier-key remapping, followed as it changes (not owned; it outlives
        // the device). None: every key shows its own picture.
        KDModifierMappingReader *modifierMapping = nullptr;
        // Key name -> its display number ("OLEDIndex"), for keys that have a display.
        QHash<QString, int> displayIndexes;
        QString scancodeResource;
        QString preferencesFile;
        Timing timing;
    };

    struct Statistics
    {
        quint64 pictureWrites = 0;
        quint64 identicalPictures = 0;
        quint64 failedPictureWrites = 0;
        quint64 fileWrites = 0;
    };

    // The system's volumes (or the simulated keyboard), the installed keyboard data set and the
    // configurator's preferences file.
    static Environment defaultEnvironment();
    // The process's device, made with the default environment on first use; it lives until the
    // process ends.
    static KDKeyboardDevice &sharedInstance();
    static bool hasSharedInstance();

    explicit KDKeyboardDevice(Environment environment, QObject *parent = nullptr);
    // Finishes the queue and stops the writer.
    ~KDKeyboardDevice() override;

    // Queues a picture for a display (1...114), after redirection: it shows on every key that now
    // acts as the display's key; a picture whose key's function no key has now, or any number
    // outside the range, is dropped.
    void showImage(std::shared_ptr<KCLumivoxImage> picture, int oledIndex);
    // True hands the displays to the driver, false gives them back to the keyboard.
    void setLayoutSys(bool driverControlsDisplays);
    void writeAllScancodes();
    void setBrightness(int percent, bool autoAdjust);
    void setSleepTimeout(int seconds, bool wakeUpByMouse);
    // The displays a picture meant for `oledIndex` shows on.
    QList<int> mappedOledIndexes(int oledIndex) const;
    bool userLoggedIn() const { return m_userLoggedIn.load(); }
    // Stops accepting work; the writer finishes what is queued and ends.
    void terminate();
    // After terminate: waits until the writer has ended. False when it did not end in time.
    bool waitForWriter(std::chrono::milliseconds timeout);
    // Forgets the volume and what it shows; every picture and the key-code table are written in
    // full once a volume is found again.
    void clearStateOnDisconnection();

    void onLoginLogout(bool switchedIn);
    void onVolumeDidMount(const QString &mountPoint);
    void onVolumeDidUnmount(const QString &mountPoint);

    std::optional<QString> lumivoxVirtualDrivePath() const;
    int brightness() const { return m_brightness; }
    bool autoAdjust() const { return m_autoAdjust; }
    int sleepTime() const { return m_sleepTime; }
    bool wakeUpByMouse() const { return m_wakeUpByMouse; }
    // Seconds between the idle checks that re-send the sleep order.
    int idleCheckInterval() const;
    const QByteArray &allScancodes() const { return m_allScancodes; }
    const QHash<int, QList<int>> &buttonsMap() const { return m_buttonsMap; }
    Statistics statistics() const;
    // Waits until the queue is empty and the writer idle. False on timeout.
    bool waitUntilIdle(std::chrono::milliseconds timeout);

    // Whether a volume's device is one of the keyboard's.
    static bool isLumivoxDisk(const BlockDeviceIdentity &identity);
    static QString brightnessCommand(int percent, bool autoAdjust);
    static QString sleepCommand(int seconds);
    // Display redirections from the modifier-key remapping (key -> the key whose function it now
    // has): display of a key's picture -> the displays of the keys that now act as that key. Each
    // key shows the picture of its function, so a picture whose function no key has goes nowhere
    // and a key whose function is gone shows none. Displays not listed show their own picture.
    static QHash<int, QList<int>> buildOledMapping(const QHash<QString, QString> &modifierMap,
                                                   const QHash<QString, int> &displayIndexes);

Q_SIGNALS:
    // The device needs the idle-time trigger's notice at this interval, in seconds.
    void idleSubscriptionChanged(int intervalSeconds);

private:
    enum Command : int
    {
        LayoutOff = -1,
        LayoutOn = -2,
        Scancodes = -3,
        Order = -4,
        // Layout off on a volume the device has already let go (desktop switched out).
        LayoutOffOnVolume = -5,
    };
    struct Payload
    {
        std::shared_ptr<KCLumivoxImage> picture;
        QByteArray scancodes;
        QStringList orders;
        QString mountPoint;
    };
    // Undetermined: no keyboard volume among those that could be identified, but some could not.
    enum class DriveSearch
    {
        Found,
        NotFound,
        Undetermined,
    };

    // Main thread.
    DriveSearch findLumivoxDrive();
    bool openDynamicSysFiles();
    void closeAllDynamicSysFiles();
    void readSettings();
    void probeVolumes(int attempt);
    void scheduleProbe(int attempt);
    void repaintAll();
    void followModifierMapping();
    // Under the device's lock.
    void queuePicture(int display, const std::shared_ptr<KCLumivoxImage> &picture);
    void registerNotifications();
    void onChangeBrightness(Notification &notification);
    void onChangeSleepTimeout(Notification &notification);
    void queueOrder(const QString &command);
    void enqueue(int key, bool front);

    // Either thread.
    std::shared_ptr<KDVolumeSession> session() const;
    void setSession(std::shared_ptr<KDVolumeSession> session);
    // Ends the use of a session that failed; from the writer thread the announcement follows on
    // the main thread.
    void clearState(const std::shared_ptr<KDVolumeSession> &failed);
    void announceDriveLost();

    // Writer thread.
    void workThread();
    void drainQueue();
    void perform(int key, Payload &payload);
    void sendImageToKeyboard(const std::shared_ptr<KDVolumeSession> &session, int display,
                             KCLumivoxImage &picture);
    bool writeDataToKeyboard(const QString &mountPoint, const QString &relativePath, const QByteArray &bytes,
                             QString *error);

    std::unique_ptr<VolumeMonitor> m_volumes;
    const QString m_preferencesFile;
    const Timing m_timing;

    // The pending-write queue: keys enter at the front, the writer takes from the back.
    mutable std::mutex m_lock;
    std::deque<int> m_buttonIndexesQueue;
    std::unordered_map<int, Payload> m_buttonImages;
    // The newest picture meant for each display, before redirection.
    std::unordered_map<int, std::shared_ptr<KCLumivoxImage>> m_lastPictures;
    bool m_writerBusy = false;
    bool m_writerFinished = false;
    std::condition_variable m_writerState;
    AutoResetEvent m_addQueueItemEvent;

    std::atomic<bool> m_userLoggedIn{true};
    std::atomic<bool> m_needTerminate{false};
    std::mutex m_workerLock;
    std::thread m_worker;

    mutable std::mutex m_sessionLock;
    std::shared_ptr<KDVolumeSession> m_session;

    QByteArray m_allScancodes;
    bool m_scancodesWasChanged = false;
    KDModifierMappingReader *m_modifierMapping = nullptr;
    QHash<QString, int> m_displayIndexes;
    QHash<int, QList<int>> m_buttonsMap;
    int m_sleepTime = 30;
    bool m_wakeUpByMouse = false;
    int m_brightness = 100;
    bool m_autoAdjust = true;

    // Writer thread alone.
    int m_consecutiveFailures = 0;
    std::atomic<quint64> m_pictureWrites{0};
    std::atomic<quint64> m_identicalPictures{0};
    std::atomic<quint64> m_failedPictureWrites{0};
    std::atomic<quint64> m_fileWrites{0};
};

} // namespace brevona
