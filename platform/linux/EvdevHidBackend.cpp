#include "EvdevHidBackend.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QSet>

#include "HidBackendLogging.h"
#include "linux/EvdevReader.h"
#include "linux/UdevHidMonitor.h"

namespace brevona {

namespace {

int usagePageOf(quint32 hidUsage)
{
    return static_cast<int>(hidUsage >> 16);
}

int usageOf(quint32 hidUsage)
{
    return static_cast<int>(hidUsage & 0xFFFF);
}

} // namespace

EvdevHidBackend::EvdevHidBackend(Discovery discovery, QObject *parent)
    : QObject(parent)
    , m_discovery(discovery)
{
    m_rescanTimer.setSingleShot(true);
    connect(&m_rescanTimer, &QTimer::timeout, this, [this] { rescan(); });
}

EvdevHidBackend::~EvdevHidBackend()
{
    for (Node &node : m_nodes) {
        if (node.reader)
            delete node.reader.data();
        if (node.fd >= 0)
            ::close(node.fd);
    }
}

HidEntry EvdevHidBackend::attachEventDevice(int fd, const HidServiceProperties &properties,
                                            const std::vector<EvdevProbe::KeymapEntry> &keymap,
                                            const std::vector<int> &pressedKeys)
{
    const HidEntry entry = registerInterface(properties);
    Node node;
    node.fd = fd;
    node.keymap = keymap;
    node.pressedKeys = pressedKeys;
    m_nodes.insert(entry, node);
    announceInterface(entry);
    return entry;
}

bool EvdevHidBackend::armWatching()
{
    if (m_discovery == Discovery::None)
        return true;
    m_monitor = std::make_unique<UdevHidMonitor>(matchedVendorId(), matchedProductId());
    if (!m_monitor->isValid())
        return false;
    const bool monitoring = m_monitor->startMonitoring(
        [this](const UdevInputNode &node) {
            nodeAdded(node);
            // The device's other nodes may still be on their way; look again shortly.
            m_rescanTimer.start(kRescanDelayMs);
        },
        [this](const UdevInputNode &node) { nodeRemoved(node.devnode); });
    if (!monitoring) {
        m_rescanTimer.setSingleShot(false);
        m_rescanTimer.start(kPollIntervalMs);
    }
    // The present nodes are registered now and announced by startMatching.
    for (const UdevInputNode &node : m_monitor->enumerate()) {
        const HidEntry entry = registerInterface({node.vendorId, node.productId, node.primaryUsage});
        Node record;
        record.devnode = node.devnode;
        m_nodes.insert(entry, record);
    }
    return true;
}

void EvdevHidBackend::rescan()
{
    if (!m_monitor)
        return;
    QSet<QString> present;
    for (const UdevInputNode &node : m_monitor->enumerate()) {
        present.insert(node.devnode);
        nodeAdded(node);
    }
    QList<QString> gone;
    for (const Node &node : std::as_const(m_nodes)) {
        if (!node.devnode.isEmpty() && !present.contains(node.devnode))
            gone.append(node.devnode);
    }
    for (const QString &devnode : gone)
        nodeRemoved(devnode);
}

void EvdevHidBackend::nodeAdded(const UdevInputNode &node)
{
    for (const Node &known : std::as_const(m_nodes)) {
        if (known.devnode == node.devnode)
            return;
    }
    const HidEntry entry = registerInterface({node.vendorId, node.productId, node.primaryUsage});
    Node record;
    record.devnode = node.devnode;
    m_nodes.insert(entry, record);
    announceInterface(entry);
}

void EvdevHidBackend::nodeRemoved(const QString &devnode)
{
    for (auto it = m_nodes.begin(); it != m_nodes.end(); ++it) {
        if (it->devnode != devnode)
            continue;
        const HidEntry entry = it.key();
        detachInterface(entry);
        // Detaching closed it if it was open; what remains is the record itself.
        if (m_nodes.contains(entry)) {
            Node &node = m_nodes[entry];
            stopReader(node);
            if (node.fd >= 0)
                ::close(node.fd);
            m_nodes.remove(entry);
        }
        return;
    }
}

int EvdevHidBackend::openDevice(HidEntry entry)
{
    auto it = m_nodes.find(entry);
    if (it == m_nodes.end())
        return ENODEV;
    Node &node = *it;
    if (node.reader)
        return 0;
    int fd = node.fd;
    bool fromNode = false;
    if (fd < 0) {
        if (node.devnode.isEmpty())
            return ENODEV;
        fd = ::open(node.devnode.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno;
        fromNode = true;
    }
    node.fd = -1;

    std::vector<EvdevProbe::KeymapEntry> keymap;
    if (node.keymap) {
        keymap = *node.keymap;
    } else if (auto read = EvdevProbe::readKeymap(fd)) {
        keymap = *read;
        node.keymap = keymap;
    } else {
        qCWarning(lcHidBackend).noquote() << node.devnode << "lists no HID usages; its keys cannot be named";
    }

    EvdevProbe::KeyBits pressed;
    if (fromNode) {
        pressed = EvdevProbe::readPressedKeys(fd).value_or(EvdevProbe::KeyBits{});
    } else {
        for (int key : node.pressedKeys) {
            if (key >= 0 && key < KEY_CNT)
                pressed.set(key);
        }
    }

    std::vector<HidElement> elements;
    QHash<HidCookie, qint32> values;
    for (const EvdevProbe::KeymapEntry &mapped : keymap) {
        if (values.contains(mapped.hidUsage))
            continue;
        elements.push_back(HidElement{mapped.hidUsage, usagePageOf(mapped.hidUsage), usageOf(mapped.hidUsage),
                                      HidElementType::Button});
        const bool down =
            mapped.keyCode > KEY_RESERVED && mapped.keyCode < KEY_CNT && pressed.test(mapped.keyCode);
        values.insert(mapped.hidUsage, down ? 1 : 0);
    }
    setElements(entry, std::move(elements), values);
    startReader(entry, node, fd, keymap);
    return 0;
}

void EvdevHidBackend::startReader(HidEntry entry, Node &node, int fd,
                                  const std::vector<EvdevProbe::KeymapEntry> &keymap)
{
    auto *reader = new EvdevReader(fd, EvdevProbe::usageForKeyCode(keymap), this);
    node.reader = reader;
    reader->start([this, entry](const EvdevFrame &frame) { frameArrived(entry, frame); },
                  [this, entry] {
                      // The node is gone (or the recording ended): the interface went with it.
                      const QString devnode = m_nodes.value(entry).devnode;
                      if (!devnode.isEmpty()) {
                          nodeRemoved(devnode);
                      } else {
                          detachInterface(entry);
                          if (m_nodes.contains(entry)) {
                              stopReader(m_nodes[entry]);
                              m_nodes.remove(entry);
                          }
                      }
                  });
}

void EvdevHidBackend::stopReader(Node &node)
{
    if (!node.reader)
        return;
    node.reader->stop();
    // The reader may be in the middle of handing over a frame: let it return first.
    node.reader->deleteLater();
    node.reader = nullptr;
}

void EvdevHidBackend::closeDevice(HidEntry entry)
{
    auto it = m_nodes.find(entry);
    if (it != m_nodes.end())
        stopReader(*it);
}

void EvdevHidBackend::frameArrived(HidEntry entry, const EvdevFrame &frame)
{
    if (frame.resyncNeeded)
        resync(entry);
    std::vector<HidQueuedValue> changes;
    changes.reserve(frame.changes.size());
    for (const EvdevKeyChange &change : frame.changes)
        changes.push_back(HidQueuedValue{change.hidUsage, HidElementType::Button, change.pressed ? 1 : 0});
    if (!changes.empty())
        reportValues(entry, changes);
}

void EvdevHidBackend::resync(HidEntry entry)
{
    const auto it = m_nodes.constFind(entry);
    if (it == m_nodes.constEnd() || !it->reader || !it->keymap)
        return;
    const auto pressed = EvdevProbe::readPressedKeys(it->reader->fd());
    if (!pressed) {
        qCWarning(lcHidBackend).noquote() << "Key events were lost and the key states cannot be read again";
        return;
    }
    std::vector<HidQueuedValue> changes;
    QSet<HidCookie> seen;
    for (const EvdevProbe::KeymapEntry &mapped : *it->keymap) {
        if (mapped.keyCode <= KEY_RESERVED || mapped.keyCode >= KEY_CNT || seen.contains(mapped.hidUsage))
            continue;
        seen.insert(mapped.hidUsage);
        const qint32 now = pressed->test(mapped.keyCode) ? 1 : 0;
        if (elementValue(entry, mapped.hidUsage).value_or(0) != now)
            changes.push_back(HidQueuedValue{mapped.hidUsage, HidElementType::Button, now});
    }
    if (!changes.empty())
        reportValues(entry, changes);
}

} // namespace brevona
