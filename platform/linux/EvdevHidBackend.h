#pragma once

#include <memory>
#include <optional>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "HidBackendBase.h"
#include "linux/EvdevProbe.h"

namespace brevona {

class EvdevReader;
class UdevHidMonitor;
struct EvdevFrame;
struct UdevInputNode;

// The keyboard's HID interfaces as Linux event devices: each event node of the USB device is
// one interface (the standard and the consumer interface are told apart by their keys), its
// elements are the HID usages of its keymap, key changes come from MSC_SCAN, and the initial
// states are read when it is opened.
class EvdevHidBackend : public QObject, public HidBackendBase
{
    Q_OBJECT
public:
    enum class Discovery
    {
        Udev, // find and follow the device's nodes through udev
        None, // only what attachEventDevice adds
    };

    explicit EvdevHidBackend(Discovery discovery = Discovery::Udev, QObject *parent = nullptr);
    ~EvdevHidBackend() override;

    // Attaches an event stream that is open already (a recorded one, in tests) as one interface
    // with the given keymap and keys held at the start. Takes ownership of `fd`.
    HidEntry attachEventDevice(int fd, const HidServiceProperties &properties,
                               const std::vector<EvdevProbe::KeymapEntry> &keymap,
                               const std::vector<int> &pressedKeys = {});

    // How long after an arrival the device is looked for again, since its nodes appear one by one.
    static constexpr int kRescanDelayMs = 1000;
    // Without a udev monitor the device is looked for this often.
    static constexpr int kPollIntervalMs = 3000;

protected:
    bool armWatching() override;
    int openDevice(HidEntry entry) override;
    void closeDevice(HidEntry entry) override;

private:
    struct Node
    {
        QString devnode;
        int fd = -1; // opened already (attachEventDevice); -1 until openDevice for udev nodes
        std::optional<std::vector<EvdevProbe::KeymapEntry>> keymap;
        std::vector<int> pressedKeys;
        QPointer<EvdevReader> reader;
    };

    void rescan();
    void nodeAdded(const UdevInputNode &node);
    void nodeRemoved(const QString &devnode);
    void frameArrived(HidEntry entry, const EvdevFrame &frame);
    void resync(HidEntry entry);
    void startReader(HidEntry entry, Node &node, int fd, const std::vector<EvdevProbe::KeymapEntry> &keymap);
    void stopReader(Node &node);

    Discovery m_discovery;
    std::unique_ptr<UdevHidMonitor> m_monitor;
    QHash<HidEntry, Node> m_nodes;
    QTimer m_rescanTimer;
};

} // namespace brevona
