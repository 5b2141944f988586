#include "KCFirmwareUpgrade.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "FirmwareDriverControl.h"
#include "FirmwareLogging.h"
#include "FirmwareVersion.h"
#include "KeyboardVolume.h"
#include "Paths.h"
#include "VolumeMonitor.h"

namespace brevona {

const QString KCFirmwareUpgrade::VersionFile = QStringLiteral("version.sys");
const QString KCFirmwareUpgrade::ImageFile = QStringLiteral("upgrade.bin");

namespace {

QTimer *makeTimer(QObject *parent, bool singleShot)
{
    auto *timer = new QTimer(parent);
    timer->setSingleShot(singleShot);
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

} // namespace

KCFirmwareUpgrade::KCFirmwareUpgrade(VolumeMonitor &volumes, FirmwareDriverControl &driver,
                                     QString shippedImage, QObject *parent)
    : QObject(parent)
    , m_volumes(volumes)
    , m_driver(driver)
    , m_shippedImage(std::move(shippedImage))
    , m_io(FirmwareTarget::systemIo())
{
    m_volumeTimer = makeTimer(this, true);
    m_windowTimer = makeTimer(this, false);
    m_lockTimer = makeTimer(this, true);
    m_pauseTimer = makeTimer(this, true);
    connect(m_volumeTimer, &QTimer::timeout, this, &KCFirmwareUpgrade::updateKeyboardStatus);
    connect(m_windowTimer, &QTimer::timeout, this, &KCFirmwareUpgrade::updateKeyboardStatus);
    connect(m_lockTimer, &QTimer::timeout, this, &KCFirmwareUpgrade::reenabledUpdateButton);
    connect(m_pauseTimer, &QTimer::timeout, this, &KCFirmwareUpgrade::delayedUpdateFirmware);
    setTiming(m_timing);
    // Any volume: the keyboard's may be among them, and a mount is only known to be the keyboard's
    // once its device can be identified, which takes the system a moment.
    connect(&m_volumes, &VolumeMonitor::volumeMounted, m_volumeTimer, qOverload<>(&QTimer::start));
    connect(&m_volumes, &VolumeMonitor::volumeUnmounted, m_volumeTimer, qOverload<>(&QTimer::start));
    // The first check, as the page is loaded; nobody listens yet, so no attention is asked for.
    updateKeyboardStatus();
}

KCFirmwareUpgrade::~KCFirmwareUpgrade()
{
    // A window closed during the pause: the driver must not stay without its keyboard.
    if (isWritePending()) {
        qCInfo(lcFirmware) << "The firmware upgrade was abandoned before the image was written";
        m_pending.reset();
        m_driver.resumeKeyboard();
    }
}

QString KCFirmwareUpgrade::shippedImagePath()
{
    return Paths::resourceFolder() + QLatin1Char('/') + ImageFile;
}

void KCFirmwareUpgrade::setTiming(const Timing &timing)
{
    m_timing = timing;
    m_volumeTimer->setInterval(timing.volumeSettleMs);
    m_windowTimer->setInterval(timing.windowCheckMs);
    m_lockTimer->setInterval(timing.lockMs);
    m_pauseTimer->setInterval(timing.driverPauseMs);
}

void KCFirmwareUpgrade::setTargetIo(FirmwareTarget::Io io)
{
    m_io = std::move(io);
}

std::optional<QString> KCFirmwareUpgrade::keyboardFolder() const
{
    return KeyboardVolume::findFolder(m_volumes);
}

std::optional<QString> KCFirmwareUpgrade::virtualDiskPathForFile(const QString &file) const
{
    const auto folder = keyboardFolder();
    if (!folder)
        return std::nullopt;
    return *folder + QLatin1Char('/') + file;
}

QString KCFirmwareUpgrade::sourceImagePath() const
{
    return m_customPath.value_or(m_shippedImage);
}

void KCFirmwareUpgrade::updateKeyboardStatus()
{
    if (m_inProgress)
        return;
    KCFirmwareStatus::Inputs inputs;
    inputs.mode = m_mode;
    inputs.fileChosen = m_customPath.has_value();
    inputs.available = FirmwareVersion::read(sourceImagePath());
    if (const auto folder = keyboardFolder()) {
        const QDir dir(*folder);
        inputs.connected =
            QFileInfo(dir.filePath(ImageFile)).isFile() && QFileInfo(dir.filePath(VersionFile)).isFile();
        inputs.current = FirmwareVersion::read(dir.filePath(VersionFile));
    }
    m_status = KCFirmwareStatus::evaluate(inputs);
    const bool justConnected = m_status.connected && !m_lastConnectedStatus;
    m_lastConnectedStatus = m_status.connected;
    Q_EMIT statusChanged(m_status);
    if (justConnected && m_status.newer && m_windowVisible)
        Q_EMIT attentionRequested();
}

void KCFirmwareUpgrade::startWindowChecks()
{
    m_windowTimer->start();
}

void KCFirmwareUpgrade::stopWindowChecks()
{
    m_windowTimer->stop();
}

void KCFirmwareUpgrade::setWindowVisible(bool visible)
{
    m_windowVisible = visible;
}

void KCFirmwareUpgrade::setFirmwareUpdateMode(FirmwareUpdateMode mode)
{
    m_mode = mode;
    if (m_customPath) {
        m_customPath.reset();
        Q_EMIT chosenFileChanged(m_customPath);
    }
    updateKeyboardStatus();
}

std::optional<QString> KCFirmwareUpgrade::setCustomUpgradeBinPath(const QString &path)
{
    std::optional<QString> refusal;
    std::optional<QString> chosen;
    if (!path.isEmpty()) {
        QString expanded = path;
        if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
            expanded.replace(0, 1, Paths::homeFolder());
        // The size is checked against the keyboard's image at the upgrade, which may be connected later.
        const auto image = FirmwareImage::load(expanded, std::nullopt);
        if (image)
            chosen = expanded;
        else
            refusal = image.error();
    }
    if (chosen != m_customPath) {
        m_customPath = chosen;
        Q_EMIT chosenFileChanged(m_customPath);
    }
    updateKeyboardStatus();
    return refusal;
}

Result<KCFirmwareUpgrade::Prepared> KCFirmwareUpgrade::prepare() const
{
    using Failure = Result<Prepared>;
    if (!m_status.connected)
        return Failure::failure(QStringLiteral("The keyboard is not connected"));
    if (!m_status.buttonEnabled)
        return Failure::failure(m_mode == FirmwareUpdateMode::ChosenFile
                                    ? QStringLiteral("No firmware file is chosen")
                                    : QStringLiteral("The keyboard's firmware %1 is not older than %2")
                                          .arg(m_status.currentText, m_status.availableText));
    const auto target = virtualDiskPathForFile(ImageFile);
    if (!target)
        return Failure::failure(QStringLiteral("The keyboard is not connected"));
    const auto identity = FirmwareTarget::inspect(*target);
    if (!identity)
        return Failure::failure(identity.error());
    auto image = FirmwareImage::load(sourceImagePath(), identity->size);
    if (!image)
        return Failure::failure(image.error());
    return Prepared{std::move(*image), *target, *identity};
}

bool KCFirmwareUpgrade::updateFirmware()
{
    if (m_inProgress)
        return false;
    // What the button showed may be 4 s old: the rules are applied to the keyboard as it is now.
    updateKeyboardStatus();
    auto prepared = prepare();
    if (!prepared) {
        fail(prepared.error(), false);
        return false;
    }
    qCInfo(lcFirmware).noquote() << "Firmware upgrade from" << prepared->image.path() << "version"
                                 << FirmwareVersion::text(prepared->image.version());
    m_pending.emplace(std::move(*prepared));
    m_inProgress = true;
    m_lockTimer->start();
    Q_EMIT upgradeInProgressChanged(true);
    Q_EMIT upgradeStarted();
    m_driver.releaseKeyboard();
    m_pauseTimer->start();
    return true;
}

bool KCFirmwareUpgrade::isWritePending() const
{
    return m_pending.has_value();
}

bool KCFirmwareUpgrade::abandon()
{
    if (!isWritePending())
        return false;
    m_pauseTimer->stop();
    fail(QStringLiteral("The firmware upgrade was abandoned; nothing was written"), true);
    return true;
}

void KCFirmwareUpgrade::delayedUpdateFirmware()
{
    if (!m_pending)
        return;
    const Prepared pending = std::move(*m_pending);
    m_pending.reset();
    // The keyboard's folder again: a volume unplugged during the pause is not written to, nor one
    // that came back in its place (the identity check below refuses another file).
    const auto target = virtualDiskPathForFile(ImageFile);
    if (!target) {
        fail(QStringLiteral("The firmware was not written: the keyboard's volume is gone"), true);
        return;
    }
    if (const auto error =
            FirmwareTarget::writeInPlace(*target, pending.identity, pending.image.bytes(), m_io)) {
        fail(*error, true);
        return;
    }
    qCInfo(lcFirmware).noquote() << "Firmware image written to" << *target;
    m_status.connectionText = KCFirmwareStatus::WaitingText;
    m_status.connectionTone = KCFirmwareStatus::Tone::DarkGrey;
    Q_EMIT statusChanged(m_status);
    Q_EMIT imageWritten();
}

void KCFirmwareUpgrade::fail(const QString &message, bool driverReleased)
{
    Q_EMIT upgradeFailed(message);
    if (driverReleased) {
        m_pending.reset();
        m_driver.resumeKeyboard();
    }
}

void KCFirmwareUpgrade::reenabledUpdateButton()
{
    m_inProgress = false;
    Q_EMIT upgradeInProgressChanged(false);
    updateKeyboardStatus();
}

} // namespace brevona
