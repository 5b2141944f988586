#include "KDKeyboardDevice.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QDir>
#include <QFileInfo>
#include <QMetaType>
#include <QThread>
#include <QTimer>

#include "CommandNames.h"
#include "DeviceLogging.h"
#include "IOHIDWatcher.h"
#include "KCLumivoxImage.h"
#include "KDModifierMappingReader.h"
#include "KDScancodeTable.h"
#include "KDVolumeSession.h"
#include "KeyboardData.h"
#include "KeyboardVolume.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "PlistNumber.h"
#include "PreferenceKeys.h"
#include "PropertyList.h"
#include "ResourceFiles.h"
#include "SystemModifiers.h"
#include "VolumeLayout.h"
#include "VolumeMonitor.h"

namespace brevona {

namespace {

// Posted by the idle-time trigger when the user becomes active again.
const QString kIdleTimeResetNotification = QStringLiteral("IDLE_TIME_RESET_NOTIFICATION");

// Consecutive failed picture writes tolerated before the keyboard counts as gone.
constexpr int kFailuresBeforeClear = 5;
constexpr int kMaxBrightness = 100;
// "s%04d" has room for four digits.
constexpr int kMaxSleepSeconds = 9999;

KDKeyboardDevice *g_sharedInstance = nullptr;

std::optional<int> intValue(const QVariant &value)
{
    if (!isPlistNumber(value))
        return std::nullopt;
    constexpr qint64 low = std::numeric_limits<int>::min();
    constexpr qint64 high = std::numeric_limits<int>::max();
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return int(std::clamp(value.toDouble(), double(low), double(high)));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return int(std::min<quint64>(value.toULongLong(), quint64(high)));
    default:
        return int(std::clamp<qint64>(value.toLongLong(), low, high));
    }
}

std::optional<bool> boolValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (const auto number = intValue(value))
        return *number != 0;
    return std::nullopt;
}

int intSetting(const QVariantMap &settings, const QString &key)
{
    const int fallback = intValue(PreferenceKeys::registeredDefault(key)).value_or(0);
    const auto it = settings.constFind(key);
    if (it == settings.constEnd())
        return fallback;
    if (const auto value = intValue(*it))
        return *value;
    qCWarning(lcDevice, "Preference %s is not a number; %d is used", qPrintable(key), fallback);
    return fallback;
}

bool boolSetting(const QVariantMap &settings, const QString &key)
{
    const bool fallback = boolValue(PreferenceKeys::registeredDefault(key)).value_or(false);
    const auto it = settings.constFind(key);
    if (it == settings.constEnd())
        return fallback;
    if (const auto value = boolValue(*it))
        return *value;
    qCWarning(lcDevice, "Preference %s is not a boolean; %s is used", qPrintable(key),
              fallback ? "true" : "false");
    return fallback;
}

} // namespace

// --- creation

KDKeyboardDevice::Environment KDKeyboardDevice::defaultEnvironment()
{
    Environment environment;
    environment.volumes = VolumeMonitor::create();
    // The displays follow the same reading of the session's modifier remapping as the key states.
    if (IOHIDWatcher *watcher = IOHIDWatcher::sharedIOHIDWatcher()) {
        environment.modifierMapping = &watcher->modifierMappingReader();
    } else {
        static auto *reader = new KDModifierMappingReader(SystemModifiers::instance());
        environment.modifierMapping = reader;
    }
    for (const KeyboardData::Key &key : KeyboardData::shared().keys()) {
        if (key.display > 0)
            environment.displayIndexes.insert(key.name, key.display);
    }
    environment.scancodeResource = QDir(Paths::resourceFolder()).filePath(resourcefiles::ScancodeTable);
    environment.preferencesFile = Paths::configuratorPreferencesFile();
    return environment;
}

KDKeyboardDevice &KDKeyboardDevice::sharedInstance()
{
    // Never destroyed: the writer may still be finishing while the process exits.
    static KDKeyboardDevice *const instance = [] {
        g_sharedInstance = new KDKeyboardDevice(defaultEnvironment());
        return g_sharedInstance;
    }();
    return *instance;
}

bool KDKeyboardDevice::hasSharedInstance()
{
    return g_sharedInstance != nullptr;
}

KDKeyboardDevice::KDKeyboardDevice(Environment environment, QObject *parent)
    : QObject(parent)
    , m_volumes(std::move(environment.volumes))
    , m_preferencesFile(environment.preferencesFile)
    , m_timing(environment.timing)
{
    Q_ASSERT(m_volumes);
    m_userLoggedIn = m_volumes->isSessionActive();

    m_allScancodes = KDScancodeTable::build(environment.scancodeResource);

    findLumivoxDrive();

    m_modifierMapping = environment.modifierMapping;
    m_displayIndexes = environment.displayIndexes;
    // Nothing is shown yet: a key without a function is simply never sent a picture.
    m_buttonsMap = buildOledMapping(
        m_modifierMapping ? m_modifierMapping->getMap() : QHash<QString, QString>(), m_displayIndexes);
    if (m_modifierMapping)
        connect(m_modifierMapping, &KDModifierMappingReader::mapChanged, this,
                &KDKeyboardDevice::followModifierMapping);
    connect(m_volumes.get(), &VolumeMonitor::volumeMounted, this, &KDKeyboardDevice::onVolumeDidMount);
    connect(m_volumes.get(), &VolumeMonitor::volumeUnmounted, this, &KDKeyboardDevice::onVolumeDidUnmount);
    connect(m_volumes.get(), &VolumeMonitor::sessionActiveChanged, this, &KDKeyboardDevice::onLoginLogout);
    registerNotifications();

    m_worker = std::thread([this] { workThread(); });

    if (lumivoxVirtualDrivePath() && !openDynamicSysFiles()) {
        // The volume is there but its display files are not (yet): look again as after a mount.
        setSession(nullptr);
        scheduleProbe(1);
    }
    writeAllScancodes();
}

KDKeyboardDevice::~KDKeyboardDevice()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (g_sharedInstance == this)
        g_sharedInstance = nullptr;
    terminate();
    if (m_worker.joinable())
        m_worker.join();
}

void KDKeyboardDevice::registerNotifications()
{
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::configuratorSaid(commands::ChangeBrightness),
                       [this](Notification &n) { onChangeBrightness(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::ChangeSleepTimeout),
                       [this](Notification &n) { onChangeSleepTimeout(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::ForceDeviceStop),
                       [this](Notification &) { clearStateOnDisconnection(); });
    center.addObserver(this, kIdleTimeResetNotification, [this](Notification &) {
        if (m_wakeUpByMouse)
            setSleepTimeout(m_sleepTime, true);
    });
}

// --- finding the volume

bool KDKeyboardDevice::isLumivoxDisk(const BlockDeviceIdentity &identity)
{
    // One rule for the driver and the configurator's firmware upgrade.
    return KeyboardVolume::isKeyboard(identity);
}

KDKeyboardDevice::DriveSearch KDKeyboardDevice::findLumivoxDrive()
{
    if (!m_userLoggedIn)
        return DriveSearch::NotFound;
    bool undetermined = false;
    setSession(nullptr);
    for (const MountedVolume &volume : m_volumes->mountedVolumes()) {
        if (!QFileInfo(volume.mountPoint).isDir())
            continue;
        const auto identity = m_volumes->identify(volume);
        if (!identity) {
            undetermined = true;
            continue;
        }
        if (!isLumivoxDisk(*identity))
            continue;
        qCInfo(lcDevice).noquote() << "Keyboard volume found at" << volume.mountPoint;
        setSession(std::make_shared<KDVolumeSession>(volume.mountPoint));
        setLayoutSys(true);
        QTimer::singleShot(m_timing.settingsDelay, Qt::PreciseTimer, this, &KDKeyboardDevice::readSettings);
        m_scancodesWasChanged = true;
        return DriveSearch::Found;
    }
    return undetermined ? DriveSearch::Undetermined : DriveSearch::NotFound;
}

bool KDKeyboardDevice::openDynamicSysFiles()
{
    const auto current = session();
    if (!current)
        return false;
    // A fresh session: the old descriptors close once a write still running on them is done, and
    // every display counts as blank on the reopened files.
    auto reopened = std::make_shared<KDVolumeSession>(current->mountPoint());
    const auto error = reopened->openDynamicSysFiles();
    if (error)
        qCWarning(lcDevice).noquote() << "openDynamicSysFiles error:" << *error;
    {
        std::lock_guard guard(m_sessionLock);
        if (m_session == current)
            m_session = reopened;
    }
    return !error;
}

void KDKeyboardDevice::closeAllDynamicSysFiles()
{
    std::lock_guard guard(m_sessionLock);
    if (m_session && m_session->hasDisplayFiles())
        m_session = std::make_shared<KDVolumeSession>(m_session->mountPoint());
}

void KDKeyboardDevice::scheduleProbe(int attempt)
{
    QTimer::singleShot(m_timing.mountProbeDelay, Qt::PreciseTimer, this,
                       [this, attempt] { probeVolumes(attempt); });
}

void KDKeyboardDevice::probeVolumes(int attempt)
{
    if (!m_userLoggedIn || lumivoxVirtualDrivePath())
        return;
    const DriveSearch search = findLumivoxDrive();
    const bool mayRetry = attempt + 1 < m_timing.probeAttempts;
    if (search == DriveSearch::Found) {
        if (!openDynamicSysFiles() && mayRetry) {
            qCInfo(lcDevice) << "The keyboard volume is not ready yet; looking again";
            setSession(nullptr);
            scheduleProbe(attempt + 1);
            return;
        }
        NotificationCenter::defaultCenter().post(notifications::DriveFound);
        m_scancodesWasChanged = true;
        writeAllScancodes();
        repaintAll();
    } else if (search == DriveSearch::Undetermined && mayRetry) {
        scheduleProbe(attempt + 1);
    }
}

void KDKeyboardDevice::onVolumeDidMount(const QString &mountPoint)
{
    qCDebug(lcDevice).noquote() << "Volume mounted:" << mountPoint;
    scheduleProbe(0);
}

void KDKeyboardDevice::onVolumeDidUnmount(const QString &mountPoint)
{
    const auto known = lumivoxVirtualDrivePath();
    if (known && QDir::cleanPath(*known) == QDir::cleanPath(mountPoint))
        clearStateOnDisconnection();
}

void KDKeyboardDevice::onLoginLogout(bool switchedIn)
{
    qCInfo(lcDevice, "login: %s (%llx)", switchedIn ? "desktop switched in" : "desktop switched out",
           static_cast<unsigned long long>(reinterpret_cast<quintptr>(this)));
    if (switchedIn) {
        m_userLoggedIn = true;
        probeVolumes(0);
        return;
    }
    closeAllDynamicSysFiles();
    // The displays go back to the keyboard before anything still queued: the writer takes this
    // next, while the pictures after it find no volume and are dropped.
    if (const auto mountPoint = lumivoxVirtualDrivePath()) {
        std::lock_guard guard(m_lock);
        m_buttonImages[LayoutOffOnVolume].mountPoint = *mountPoint;
        const auto it =
            std::find(m_buttonIndexesQueue.begin(), m_buttonIndexesQueue.end(), LayoutOffOnVolume);
        if (it == m_buttonIndexesQueue.end())
            m_buttonIndexesQueue.push_back(LayoutOffOnVolume);
        m_addQueueItemEvent.raise();
    }
    clearStateOnDisconnection();
    m_userLoggedIn = false;
}

void KDKeyboardDevice::clearStateOnDisconnection()
{
    qCInfo(lcDevice) << "clear state";
    setSession(nullptr);
    NotificationCenter::defaultCenter().post(notifications::DriveLost);
}

void KDKeyboardDevice::clearState(const std::shared_ptr<KDVolumeSession> &failed)
{
    {
        std::lock_guard guard(m_sessionLock);
        if (m_session != failed)
            return;
        m_session.reset();
    }
    qCInfo(lcDevice) << "clear state";
    if (QThread::currentThread() == thread())
        announceDriveLost();
    else
        QMetaObject::invokeMethod(this, &KDKeyboardDevice::announceDriveLost, Qt::QueuedConnection);
}

void KDKeyboardDevice::announceDriveLost()
{
    NotificationCenter::defaultCenter().post(notifications::DriveLost);
}

std::shared_ptr<KDVolumeSession> KDKeyboardDevice::session() const
{
    std::lock_guard guard(m_sessionLock);
    return m_session;
}

void KDKeyboardDevice::setSession(std::shared_ptr<KDVolumeSession> session)
{
    std::lock_guard guard(m_sessionLock);
    m_session = std::move(session);
}

std::optional<QString> KDKeyboardDevice::lumivoxVirtualDrivePath() const
{
    const auto current = session();
    if (!current)
        return std::nullopt;
    return current->mountPoint();
}

// --- settings and commands

void KDKeyboardDevice::readSettings()
{
    QVariantMap settings;
    if (QFileInfo::exists(m_preferencesFile)) {
        if (const auto read = PropertyList::readDictionary(m_preferencesFile))
            settings = *read;
        else
            qCWarning(lcDevice).noquote()
                << "Preferences" << m_preferencesFile << "cannot be read; defaults are used";
    }
    setBrightness(intSetting(settings, PreferenceKeys::KeyboardBrightness),
                  boolSetting(settings, PreferenceKeys::AutoAdjustKeyboardBrightness));
    setSleepTimeout(intSetting(settings, PreferenceKeys::KeyboardSleepTimeout),
                    boolSetting(settings, PreferenceKeys::WakeOnWhenMouseMoves));
}

void KDKeyboardDevice::onChangeBrightness(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    const auto value = intValue(info.value(commands::keys::Value));
    if (!value) {
        qCWarning(lcDevice) << "ChangeBrightness command doesn't have a numeric Value";
        notification.abandon();
        return;
    }
    setBrightness(*value, boolValue(info.value(commands::keys::Auto)).value_or(false));
}

void KDKeyboardDevice::onChangeSleepTimeout(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    const auto value = intValue(info.value(commands::keys::Value));
    if (!value) {
        qCWarning(lcDevice) << "ChangeSleepTimeout command doesn't have a numeric Value";
        notification.abandon();
        return;
    }
    setSleepTimeout(*value, boolValue(info.value(commands::keys::WakeOnWhenMouseMoves)).value_or(false));
}

QString KDKeyboardDevice::brightnessCommand(int percent, bool autoAdjust)
{
    return QString::asprintf("b%03d%s", percent, autoAdjust ? "A" : "");
}

QString KDKeyboardDevice::sleepCommand(int seconds)
{
    return QString::asprintf("s%04d", seconds);
}

int KDKeyboardDevice::idleCheckInterval() const
{
    return int(m_sleepTime / 1.5 + 1);
}

void KDKeyboardDevice::setBrightness(int percent, bool autoAdjust)
{
    if (m_needTerminate)
        return;
    const int clamped = std::clamp(percent, 0, kMaxBrightness);
    if (clamped != percent)
        qCWarning(lcDevice, "Brightness %d is out of range; %d is used", percent, clamped);
    m_brightness = clamped;
    m_autoAdjust = autoAdjust;
    queueOrder(brightnessCommand(m_brightness, m_autoAdjust));
}

void KDKeyboardDevice::setSleepTimeout(int seconds, bool wakeUpByMouse)
{
    if (m_needTerminate)
        return;
    const int clamped = std::clamp(seconds, 0, kMaxSleepSeconds);
    if (clamped != seconds)
        qCWarning(lcDevice, "Sleep timeout %d s is out of range; %d s is used", seconds, clamped);
    m_sleepTime = clamped;
    m_wakeUpByMouse = wakeUpByMouse;
    Q_EMIT idleSubscriptionChanged(idleCheckInterval());
    queueOrder(sleepCommand(m_sleepTime));
}

// --- the queue

QHash<int, QList<int>> KDKeyboardDevice::buildOledMapping(const QHash<QString, QString> &modifierMap,
                                                          const QHash<QString, int> &displayIndexes)
{
    // The keys that lose or gain a picture: the remapped ones and those whose function they took.
    QSet<QString> affected;
    for (auto it = modifierMap.constBegin(); it != modifierMap.constEnd(); ++it) {
        affected.insert(it.key());
        affected.insert(it.value());
    }
    QHash<int, QList<int>> map;
    for (const QString &name : std::as_const(affected)) {
        if (const int own = displayIndexes.value(name, 0); own > 0)
            map.insert(own, {});
    }
    for (const QString &name : std::as_const(affected)) {
        const int own = displayIndexes.value(name, 0);
        const int function = displayIndexes.value(modifierMap.value(name, name), 0);
        if (own > 0 && function > 0)
            map[function].append(own);
    }
    for (auto it = map.begin(); it != map.end();) {
        std::sort(it->begin(), it->end());
        if (*it == QList<int>{it.key()})
            it = map.erase(it);
        else
            ++it;
    }
    return map;
}

QList<int> KDKeyboardDevice::mappedOledIndexes(int oledIndex) const
{
    const auto found = m_buttonsMap.constFind(oledIndex);
    return found != m_buttonsMap.constEnd() ? *found : QList<int>{oledIndex};
}

void KDKeyboardDevice::followModifierMapping()
{
    const QHash<int, QList<int>> previous = m_buttonsMap;
    m_buttonsMap = buildOledMapping(
        m_modifierMapping ? m_modifierMapping->getMap() : QHash<QString, QString>(), m_displayIndexes);
    if (m_buttonsMap == previous)
        return;
    // A display listed as a source but no one's destination shows nothing of its own.
    const auto dark = [](const QHash<int, QList<int>> &map) {
        QSet<int> displays;
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            displays.insert(it.key());
        for (const QList<int> &destinations : map)
            for (const int display : destinations)
                displays.remove(display);
        return displays;
    };
    const QSet<int> darkBefore = dark(previous);
    QStringList redirections;
    for (auto it = m_buttonsMap.constBegin(); it != m_buttonsMap.constEnd(); ++it) {
        QStringList to;
        for (const int display : *it)
            to.append(QString::number(display));
        redirections.append(QStringLiteral("%1 -> %2")
                                .arg(it.key())
                                .arg(to.isEmpty() ? QStringLiteral("none") : to.join(QLatin1Char(','))));
    }
    qCInfo(lcDevice).noquote() << "Display redirections:"
                               << (redirections.isEmpty() ? QStringLiteral("none")
                                                          : redirections.join(QStringLiteral("; ")));
    {
        // What a key that lost its function showed would stay on it: it goes black.
        std::lock_guard guard(m_lock);
        for (const int display : dark(m_buttonsMap)) {
            if (!darkBefore.contains(display))
                queuePicture(display, std::make_shared<KCLumivoxImage>());
        }
    }
    repaintAll();
}

void KDKeyboardDevice::enqueue(int key, bool front)
{
    if (front)
        m_buttonIndexesQueue.push_front(key);
    else
        m_buttonIndexesQueue.push_back(key);
}

void KDKeyboardDevice::queuePicture(int display, const std::shared_ptr<KCLumivoxImage> &picture)
{
    auto it = m_buttonImages.find(display);
    if (it == m_buttonImages.end()) {
        enqueue(display, true);
        it = m_buttonImages.emplace(display, Payload{}).first;
    }
    it->second.picture = picture;
    m_addQueueItemEvent.raise();
}

void KDKeyboardDevice::showImage(std::shared_ptr<KCLumivoxImage> picture, int oledIndex)
{
    if (m_needTerminate || !picture)
        return;
    if (oledIndex < 1 || oledIndex > DisplayCount) {
        qCDebug(lcDevice, "Picture for display %d dropped", oledIndex);
        return;
    }
    const QList<int> displays = mappedOledIndexes(oledIndex);
    std::lock_guard guard(m_lock);
    m_lastPictures[oledIndex] = picture;
    for (const int display : displays) {
        if (display >= 1 && display <= DisplayCount)
            queuePicture(display, picture);
    }
}

void KDKeyboardDevice::repaintAll()
{
    std::lock_guard guard(m_lock);
    for (const auto &[oledIndex, picture] : m_lastPictures) {
        // Every display shows one key's function, so what is pending for it is this picture or
        // one of a redirection that no longer holds.
        for (const int display : mappedOledIndexes(oledIndex)) {
            if (display >= 1 && display <= DisplayCount)
                queuePicture(display, picture);
        }
    }
}

void KDKeyboardDevice::setLayoutSys(bool driverControlsDisplays)
{
    std::lock_guard guard(m_lock);
    enqueue(driverControlsDisplays ? LayoutOn : LayoutOff, true);
    m_addQueueItemEvent.raise();
}

void KDKeyboardDevice::writeAllScancodes()
{
    if (m_needTerminate || !m_scancodesWasChanged)
        return;
    {
        std::lock_guard guard(m_lock);
        auto it = m_buttonImages.find(Scancodes);
        if (it == m_buttonImages.end()) {
            enqueue(Scancodes, true);
            it = m_buttonImages.emplace(Scancodes, Payload{}).first;
        }
        it->second.scancodes = m_allScancodes;
        m_addQueueItemEvent.raise();
    }
    m_scancodesWasChanged = false;
}

void KDKeyboardDevice::queueOrder(const QString &command)
{
    // Brightness and sleep orders share one slot on the queue, but neither may cost the other its
    // write: a newer order replaces the pending one of its own kind and keeps its place.
    std::lock_guard guard(m_lock);
    auto it = m_buttonImages.find(Order);
    if (it == m_buttonImages.end()) {
        enqueue(Order, true);
        it = m_buttonImages.emplace(Order, Payload{}).first;
    }
    QStringList &orders = it->second.orders;
    const auto same = std::find_if(orders.begin(), orders.end(), [&](const QString &pending) {
        return pending.front() == command.front();
    });
    if (same != orders.end())
        *same = command;
    else
        orders.append(command);
    m_addQueueItemEvent.raise();
}

void KDKeyboardDevice::terminate()
{
    // The flag first: the writer looks at it after the wake-up this raise causes.
    m_needTerminate = true;
    m_addQueueItemEvent.raise();
}

bool KDKeyboardDevice::waitForWriter(std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(m_lock);
        if (!m_writerState.wait_for(lock, timeout, [this] { return m_writerFinished; }))
            return false;
    }
    if (m_worker.joinable())
        m_worker.join();
    return true;
}

bool KDKeyboardDevice::waitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_lock);
    return m_writerState.wait_for(lock, timeout, [this] {
        return m_writerFinished || (m_buttonIndexesQueue.empty() && !m_writerBusy);
    });
}

KDKeyboardDevice::Statistics KDKeyboardDevice::statistics() const
{
    return {m_pictureWrites.load(), m_identicalPictures.load(), m_failedPictureWrites.load(),
            m_fileWrites.load()};
}

// --- the writer

void KDKeyboardDevice::workThread()
{
    std::lock_guard worker(m_workerLock);
    for (;;) {
        m_addQueueItemEvent.wait();
        drainQueue();
        if (m_needTerminate) {
            // What was queued before terminate but after the last look is still written.
            drainQueue();
            break;
        }
    }
    {
        std::lock_guard guard(m_lock);
        m_writerFinished = true;
    }
    m_writerState.notify_all();
}

void KDKeyboardDevice::drainQueue()
{
    for (;;) {
        int key = 0;
        Payload payload;
        {
            std::lock_guard guard(m_lock);
            if (m_buttonIndexesQueue.empty()) {
                m_writerBusy = false;
                m_writerState.notify_all();
                return;
            }
            key = m_buttonIndexesQueue.back();
            m_buttonIndexesQueue.pop_back();
            if (auto it = m_buttonImages.find(key); it != m_buttonImages.end()) {
                payload = std::move(it->second);
                m_buttonImages.erase(it);
            }
            m_writerBusy = true;
        }
        perform(key, payload);
    }
}

bool KDKeyboardDevice::writeDataToKeyboard(const QString &mountPoint, const QString &relativePath,
                                           const QByteArray &bytes, QString *error)
{
    if (const auto failure = KDVolumeSession::writeFile(mountPoint, relativePath, bytes)) {
        *error = *failure;
        return false;
    }
    ++m_fileWrites;
    qCDebug(lcDevice).noquote() << "Wrote" << relativePath;
    std::this_thread::sleep_for(m_timing.afterFileWrite);
    return true;
}

void KDKeyboardDevice::perform(int key, Payload &payload)
{
    const auto volume = session();
    QString error;
    if (key == LayoutOn || key == LayoutOff || key == LayoutOffOnVolume) {
        const QString mountPoint =
            key == LayoutOffOnVolume ? payload.mountPoint : (volume ? volume->mountPoint() : QString());
        if (mountPoint.isEmpty())
            return;
        const QByteArray layout(DisplayCount, key == LayoutOn ? '\x01' : '\x00');
        if (!writeDataToKeyboard(mountPoint, volumelayout::LayoutFile, layout, &error)) {
            qCWarning(lcDevice).noquote() << "Error in setLayoutSysInternal:" << error;
            if (key != LayoutOffOnVolume)
                clearState(volume);
        }
        return;
    }
    if (!volume)
        return; // no keyboard: what was queued for it is dropped

    switch (key) {
    case Scancodes:
        if (volume->lastWrittenScancodes == payload.scancodes)
            return;
        if (!writeDataToKeyboard(volume->mountPoint(), volumelayout::ScancodeFile, payload.scancodes,
                                 &error)) {
            qCWarning(lcDevice).noquote() << "Error in writeAllScancodes:" << error;
            return;
        }
        volume->lastWrittenScancodes = payload.scancodes;
        std::this_thread::sleep_for(m_timing.afterScancodes);
        return;
    case Order: {
        // Named from the volume's root here: the write's log line has always read "/vLumivox/order.sys".
        const QString orderFile = QLatin1Char('/') + volumelayout::OrderFile;
        for (const QString &order : std::as_const(payload.orders)) {
            if (!writeDataToKeyboard(volume->mountPoint(), orderFile, order.toLatin1(), &error))
                qCWarning(lcDevice).noquote() << "Error in sendOrder:" << error;
        }
        return;
    }
    default:
        if (key >= 1 && key <= DisplayCount && payload.picture)
            sendImageToKeyboard(volume, key, *payload.picture);
        return;
    }
}

void KDKeyboardDevice::sendImageToKeyboard(const std::shared_ptr<KDVolumeSession> &session, int display,
                                           KCLumivoxImage &picture)
{
    KDVolumeSession &volume = *session;
    const QByteArray encoding = picture.oledData(KeyboardData::isTurnedDisplay(display));
    const auto shown = volume.alreadyShownImages.constFind(display);
    if (shown != volume.alreadyShownImages.constEnd() && *shown == encoding) {
        ++m_identicalPictures;
        return;
    }
    volume.alreadyShownImages.insert(display, encoding);

    if (const auto error = volume.writeDisplay(display, encoding)) {
        qCWarning(lcDevice).noquote() << "error writing to image sys-file:" << *error;
        ++m_failedPictureWrites;
        // The display keeps what it showed before, so the same picture must be written again
        // when it is sent again.
        volume.alreadyShownImages.remove(display);
        if (m_consecutiveFailures > kFailuresBeforeClear)
            clearState(session);
        ++m_consecutiveFailures;
        return;
    }
    m_consecutiveFailures = 0;
    ++m_pictureWrites;
    qCDebug(lcDevice, "Wrote display %03d", display);
}

} // namespace brevona
