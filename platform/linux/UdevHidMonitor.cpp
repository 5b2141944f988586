#include "UdevHidMonitor.h"

#include <libudev.h>

#include <QSocketNotifier>

#include "HidBackendLogging.h"
#include "linux/EvdevProbe.h"

namespace brevona {

namespace {

int hexAttribute(udev_device *device, const char *name)
{
    const char *value = udev_device_get_sysattr_value(device, name);
    if (!value)
        return -1;
    bool ok = false;
    const int number = QByteArray(value).trimmed().toInt(&ok, 16);
    return ok ? number : -1;
}

} // namespace

UdevHidMonitor::UdevHidMonitor(int vendorId, int productId, QObject *parent)
    : QObject(parent)
    , m_vendorId(vendorId)
    , m_productId(productId)
    , m_udev(udev_new())
{
    if (!m_udev)
        qCWarning(lcHidBackend).noquote() << "udev is not available; the keyboard's input cannot be found";
}

UdevHidMonitor::~UdevHidMonitor()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

std::optional<UdevInputNode> UdevHidMonitor::describe(udev_device *device) const
{
    const char *devnode = udev_device_get_devnode(device);
    const char *sysname = udev_device_get_sysname(device);
    if (!devnode || !sysname || qstrncmp(sysname, "event", 5) != 0)
        return std::nullopt;
    // The event node's parent is the input device, which carries the ids and the capabilities.
    udev_device *input = udev_device_get_parent_with_subsystem_devtype(device, "input", nullptr);
    if (!input)
        return std::nullopt;
    UdevInputNode node;
    node.devnode = QString::fromLocal8Bit(devnode);
    node.syspath = QString::fromLocal8Bit(udev_device_get_syspath(device));
    node.vendorId = hexAttribute(input, "id/vendor");
    node.productId = hexAttribute(input, "id/product");
    if (node.vendorId != m_vendorId || node.productId != m_productId)
        return std::nullopt;
    const char *keys = udev_device_get_sysattr_value(input, "capabilities/key");
    const auto bits = keys ? EvdevProbe::parseCapabilities(QByteArray(keys)) : std::nullopt;
    node.primaryUsage = bits ? EvdevProbe::primaryUsageForKeys(*bits) : 0;
    return node;
}

std::vector<UdevInputNode> UdevHidMonitor::enumerate() const
{
    std::vector<UdevInputNode> nodes;
    if (!m_udev)
        return nodes;
    udev_enumerate *enumerate = udev_enumerate_new(m_udev);
    if (!enumerate)
        return nodes;
    udev_enumerate_add_match_subsystem(enumerate, "input");
    udev_enumerate_add_match_sysname(enumerate, "event*");
    udev_enumerate_scan_devices(enumerate);
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
    {
        udev_device *device = udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
        if (!device)
            continue;
        if (auto node = describe(device))
            nodes.push_back(*node);
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumerate);
    return nodes;
}

bool UdevHidMonitor::startMonitoring(NodeHandler added, NodeHandler removed)
{
    m_added = std::move(added);
    m_removed = std::move(removed);
    if (!m_udev || m_monitor)
        return m_monitor != nullptr;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "input", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        qCWarning(lcHidBackend).noquote()
            << "udev monitor unavailable; a keyboard plugged in later is found only"
            << "by the periodic rescan";
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return false;
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { receive(); });
    return true;
}

void UdevHidMonitor::receive()
{
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        const QByteArray action = udev_device_get_action(device);
        if (action == "remove") {
            // A removed device's parent may be gone already: report by node, unmatched.
            const char *devnode = udev_device_get_devnode(device);
            const char *sysname = udev_device_get_sysname(device);
            if (devnode && sysname && qstrncmp(sysname, "event", 5) == 0 && m_removed) {
                UdevInputNode node;
                node.devnode = QString::fromLocal8Bit(devnode);
                node.syspath = QString::fromLocal8Bit(udev_device_get_syspath(device));
                m_removed(node);
            }
        } else if (action == "add" || action == "change") {
            if (auto node = describe(device); node && m_added)
                m_added(*node);
        }
        udev_device_unref(device);
    }
}

} // namespace brevona
