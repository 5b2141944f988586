#include "DriverApplication.h"

#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>

#include "CommandNames.h"
#include "CoreLogging.h"
#include "IOHIDWatcher.h"
#include "KDButton.h"
#include "KDIdleTimeTrigger.h"
#include "KDKeyboardDevice.h"
#include "KDLayerManager.h"
#include "KDServer.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "ProcessTable.h"
#include "SignalWatcher.h"
#include "StoreNames.h"

namespace brevona {

namespace {
const QString ProcessName = QStringLiteral("BrevonaDriver");
} // namespace

DriverApplication::DriverApplication(QObject *parent)
    : QObject(parent)
{}

DriverApplication::~DriverApplication() = default;

int DriverApplication::killPreviousApplicationInstance()
{
    auto &table = ProcessTable::instance();
    int killed = 0;
    for (pid_t pid : table.processesNamed(ProcessName)) {
        if (table.kill(pid)) {
            qCInfo(lcCore).noquote() << "Previous instance of BrevonaDriver killed";
            ++killed;
        }
    }
    return killed;
}

bool DriverApplication::start()
{
    const int killed = killPreviousApplicationInstance();

    const IOHIDWatcher *watcher = IOHIDWatcher::sharedIOHIDWatcher();
    if (!watcher || !watcher->isKeyboardConnected())
        qCInfo(lcCore).noquote() << "keyboard isn't connected";
    // The keyboard's volume: the device comes before the layer manager, whose first composition
    // sends it the pictures.
    auto &device = KDKeyboardDevice::sharedInstance();
    // The device sleeps the displays after the idle time it reads from the preferences; the idle
    // trigger tells it when the user has been away that long and when input returns.
    const auto subscribeDevice = [&device](int seconds) {
        auto &trigger = KDIdleTimeTrigger::sharedTrigger();
        trigger.unSubscribe(&device);
        if (seconds > 0)
            trigger.subscribe(&device, seconds);
    };
    connect(&device, &KDKeyboardDevice::idleSubscriptionChanged, this, subscribeDevice);
    subscribeDevice(device.idleCheckInterval());
    KDButton::setDisplaySink([](const std::shared_ptr<KCLumivoxImage> &picture, int oledIndex) {
        KDKeyboardDevice::sharedInstance().showImage(picture, oledIndex);
    });

    m_layerManager = std::make_unique<KDLayerManager>(
        Paths::layerStoreFolder(), QDir(Paths::resourceFolder()).filePath(storenames::BlackLayerId));

    m_server = new KDServer(this);
    m_server->setTerminateHandler([this] { terminate(); });
    bool registered = m_server->registerService();
    // The bus releases a killed driver's name a moment after the process is gone.
    for (int attempt = 0; !registered && killed > 0 && attempt < 40; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        registered = m_server->registerService();
    }
    if (!registered) {
        qCCritical(lcCore).noquote() << "Cannot register" << commands::ServiceName
                                     << "- another driver owns it";
        return false;
    }

    QDBusConnection::sessionBus().connect(QString(), commands::ServerPath, commands::NotificationsInterface,
                                          notifications::ToggleLayerAction, this,
                                          SLOT(onToggleLayerAction(QString)));

    m_signals = new SignalWatcher(this);
    connect(m_signals, &SignalWatcher::terminationRequested, this, [this] { terminate(); });

    KDKeyboardDevice::sharedInstance().setLayoutSys(true);
    announce(notifications::DriverLaunched);
    return true;
}

void DriverApplication::terminate()
{
    if (m_terminating)
        return;
    m_terminating = true;
    announce(notifications::DriverTerminated);
    if (KDKeyboardDevice::hasSharedInstance()) {
        // The displays go back to the keyboard, and the writer finishes its queue before the exit.
        auto &device = KDKeyboardDevice::sharedInstance();
        device.setLayoutSys(false);
        device.terminate();
        if (!device.waitForWriter(std::chrono::seconds(10)))
            qCWarning(lcCore) << "The keyboard writer did not finish in time";
    }
    QDBusConnection::sessionBus().unregisterService(commands::ServiceName);
    QCoreApplication::quit();
}

void DriverApplication::announce(const QString &name)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(commands::ServerPath, commands::NotificationsInterface, name);
    if (!QDBusConnection::sessionBus().send(signal))
        qCWarning(lcCore).noquote() << "Could not announce" << name;
    // A round trip to the bus flushes the queued signal, so it leaves before the process does.
    if (name == notifications::DriverTerminated)
        QDBusConnection::sessionBus().interface()->isServiceRegistered(commands::ServiceName);
}

void DriverApplication::onToggleLayerAction(const QString &identifier)
{
    NotificationCenter::defaultCenter().post(notifications::ToggleLayerAction, QVariant(identifier));
}

} // namespace brevona
