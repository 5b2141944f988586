#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_device;
struct udev_monitor;

namespace brevona {

// An input event node of a USB device, as udev describes it.
struct UdevInputNode
{
    QString devnode; // /dev/input/eventN
    QString syspath;
    int vendorId = 0;
    int productId = 0;
    int primaryUsage = 0; // from the key capabilities, see EvdevProbe
};

// Finds the event nodes of one USB device through udev and follows their arrival and removal.
class UdevHidMonitor : public QObject
{
    Q_OBJECT
public:
    using NodeHandler = std::function<void(const UdevInputNode &)>;

    UdevHidMonitor(int vendorId, int productId, QObject *parent = nullptr);
    ~UdevHidMonitor() override;

    // False when udev cannot be used at all.
    bool isValid() const { return m_udev != nullptr; }
    // The device's event nodes present now.
    std::vector<UdevInputNode> enumerate() const;
    // Reports nodes that arrive or leave from now on. Without a udev monitor (no netlink access)
    // arrival goes unnoticed; the caller's rescans still find the device.
    bool startMonitoring(NodeHandler added, NodeHandler removed);

private:
    void receive();
    std::optional<UdevInputNode> describe(udev_device *device) const;

    int m_vendorId;
    int m_productId;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    NodeHandler m_added;
    NodeHandler m_removed;
};

} // namespace brevona
