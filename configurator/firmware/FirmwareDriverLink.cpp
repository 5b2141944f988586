#include "FirmwareDriverLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include "CommandNames.h"
#include "DriverLauncher.h"
#include "DriverLink.h"
#include "FirmwareLogging.h"

namespace brevona {

QString FirmwareDriverLink::installedDriverProgram()
{
    const QString name = QStringLiteral("BrevonaDriver");
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    return QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(name);
}

FirmwareDriverLink::FirmwareDriverLink(DriverLink &link, DriverLauncher &launcher, Setup setup,
                                       QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_launcher(launcher)
    , m_setup(std::move(setup))
{
    m_stopTimer = new QTimer(this);
    m_stopTimer->setSingleShot(true);
    connect(m_stopTimer, &QTimer::timeout, this, [this] {
        qCWarning(lcFirmware) << "The driver did not stop in time; starting it all the same";
        start();
    });
}

FirmwareDriverLink::~FirmwareDriverLink() = default;

bool FirmwareDriverLink::isBusy() const
{
    return m_stopTimer->isActive();
}

void FirmwareDriverLink::releaseKeyboard()
{
    m_released = m_link.setupDriverConnection();
    if (!m_released)
        qCInfo(lcFirmware) << "No driver runs: nothing writes to the keyboard's volume";
    m_link.notifyDriverForCommand(commands::ForceDeviceStop);
}

void FirmwareDriverLink::resumeKeyboard()
{
    if (!m_released || isBusy()) {
        if (!isBusy())
            Q_EMIT resumed(false);
        return;
    }
    m_released = false;
    qCInfo(lcFirmware) << "The driver is restarted to take the keyboard again";
    if (m_launcher.hasUserUnit(m_setup.unit)) {
        m_launcher.stopUserUnit(m_setup.unit);
        const bool started = m_launcher.startUserUnit(m_setup.unit);
        Q_EMIT resumed(started);
        return;
    }
    if (!m_link.setupDriverConnection()) {
        start();
        return;
    }
    m_waitForExit = connect(&m_link, &DriverLink::connectionChanged, this, [this](bool connected) {
        if (!connected && isBusy()) {
            m_stopTimer->stop();
            start();
        }
    });
    m_stopTimer->start(m_setup.stopTimeoutMs);
    m_link.notifyDriverForCommand(commands::Terminate);
}

void FirmwareDriverLink::start()
{
    disconnect(m_waitForExit);
    bool started = false;
    if (m_setup.program.isEmpty() || !QFileInfo(m_setup.program).isExecutable())
        qCWarning(lcFirmware).noquote() << "The driver program is not installed; it cannot be started again";
    else
        started = m_launcher.startProgram(m_setup.program);
    if (!started)
        qCWarning(lcFirmware) << "The driver could not be started again";
    Q_EMIT resumed(started);
}

} // namespace brevona
