#include "HidBackendBase.h"

#include <algorithm>
#include <cerrno>

#include "HidBackendLogging.h"

namespace brevona {

bool HidBackendBase::startMatching(int vendorId, int productId, ServiceHandler matched,
                                   ServiceHandler terminated)
{
    if (m_started)
        return false;
    m_vendorId = vendorId;
    m_productId = productId;
    if (!armWatching())
        return false;
    m_matched = std::move(matched);
    m_terminated = std::move(terminated);
    m_started = true;
    // The handlers may attach or detach while they run, so walk a copy of what is present now.
    for (HidEntry entry : attachedEntries()) {
        if (find(entry) && m_matched)
            m_matched(entry);
    }
    return true;
}

void HidBackendBase::stopMatching()
{
    m_matched = nullptr;
    m_terminated = nullptr;
    for (auto &[entry, iface] : m_interfaces) {
        if (iface->queue)
            iface->queue->wakeUp = nullptr;
    }
}

HidBackendBase::Interface *HidBackendBase::find(HidEntry entry) const
{
    const auto it = m_interfaces.find(entry);
    return it == m_interfaces.end() ? nullptr : it->second.get();
}

QList<HidEntry> HidBackendBase::attachedEntries() const
{
    QList<HidEntry> entries;
    for (const auto &[entry, iface] : m_interfaces) {
        if (iface->alive)
            entries.append(entry);
    }
    return entries;
}

std::optional<HidServiceProperties> HidBackendBase::serviceProperties(HidEntry entry) const
{
    if (const Interface *iface = find(entry))
        return iface->properties;
    return std::nullopt;
}

bool HidBackendBase::isServiceAlive(HidEntry entry) const
{
    const Interface *iface = find(entry);
    return iface && iface->alive;
}

int HidBackendBase::open(HidEntry entry)
{
    Interface *iface = find(entry);
    if (!iface || !iface->alive)
        return ENODEV;
    if (iface->open)
        return 0;
    const int error = openDevice(entry);
    // openDevice may have detached the interface when it found it gone.
    iface = find(entry);
    if (error == 0 && iface)
        iface->open = true;
    return error != 0 ? error : (iface ? 0 : ENODEV);
}

std::optional<std::vector<HidElement>> HidBackendBase::copyElements(HidEntry entry, int usagePage)
{
    const Interface *iface = find(entry);
    if (!iface || !iface->open)
        return std::nullopt;
    std::vector<HidElement> matching;
    std::copy_if(iface->elements.begin(), iface->elements.end(), std::back_inserter(matching),
                 [usagePage](const HidElement &element) { return element.usagePage == usagePage; });
    return matching;
}

std::optional<qint32> HidBackendBase::elementValue(HidEntry entry, HidCookie cookie) const
{
    const Interface *iface = find(entry);
    if (!iface || !iface->open)
        return std::nullopt;
    const auto it = iface->values.constFind(cookie);
    if (it != iface->values.constEnd())
        return *it;
    const bool known = std::any_of(iface->elements.begin(), iface->elements.end(),
                                   [cookie](const HidElement &element) { return element.cookie == cookie; });
    return known ? std::optional<qint32>(0) : std::nullopt;
}

bool HidBackendBase::createQueue(HidEntry entry, int depth)
{
    Interface *iface = find(entry);
    if (!iface || !iface->open || depth <= 0)
        return false;
    iface->queue = std::make_unique<Queue>();
    iface->queue->depth = depth;
    return true;
}

void HidBackendBase::addElementToQueue(HidEntry entry, HidCookie cookie)
{
    if (Interface *iface = find(entry); iface && iface->queue)
        iface->queue->members.insert(cookie);
}

bool HidBackendBase::startQueue(HidEntry entry, WakeUpHandler wakeUp)
{
    Interface *iface = find(entry);
    if (!iface || !iface->queue || !wakeUp)
        return false;
    iface->queue->wakeUp = std::move(wakeUp);
    iface->queue->started = true;
    return true;
}

std::optional<HidQueuedValue> HidBackendBase::nextQueuedValue(HidEntry entry)
{
    Interface *iface = find(entry);
    if (!iface || !iface->queue || iface->queue->pending.empty())
        return std::nullopt;
    const HidQueuedValue value = iface->queue->pending.front();
    iface->queue->pending.pop_front();
    return value;
}

void HidBackendBase::close(HidEntry entry)
{
    Interface *iface = find(entry);
    if (!iface)
        return;
    iface->queue.reset();
    if (iface->open) {
        iface->open = false;
        closeDevice(entry);
    }
}

HidEntry HidBackendBase::attachInterface(const HidServiceProperties &properties,
                                         std::vector<HidElement> elements,
                                         const QHash<HidCookie, qint32> &values)
{
    const HidEntry entry = registerInterface(properties, std::move(elements), values);
    announceInterface(entry);
    return entry;
}

HidEntry HidBackendBase::registerInterface(const HidServiceProperties &properties,
                                           std::vector<HidElement> elements,
                                           const QHash<HidCookie, qint32> &values)
{
    const HidEntry entry = m_nextEntry++;
    auto iface = std::make_shared<Interface>();
    iface->properties = properties;
    iface->elements = std::move(elements);
    iface->values = values;
    m_interfaces.emplace(entry, std::move(iface));
    return entry;
}

void HidBackendBase::announceInterface(HidEntry entry)
{
    if (m_started && m_matched && isServiceAlive(entry)) {
        const ServiceHandler matched = m_matched;
        matched(entry);
    }
}

void HidBackendBase::setElements(HidEntry entry, std::vector<HidElement> elements,
                                 const QHash<HidCookie, qint32> &values)
{
    if (Interface *iface = find(entry)) {
        iface->elements = std::move(elements);
        iface->values = values;
    }
}

void HidBackendBase::detachInterface(HidEntry entry)
{
    const auto it = m_interfaces.find(entry);
    if (it == m_interfaces.end() || !it->second->alive)
        return;
    // Keep the record while the removal is reported: the handler closes it through this backend.
    const std::shared_ptr<Interface> iface = it->second;
    iface->alive = false;
    if (m_started && m_terminated) {
        const ServiceHandler terminated = m_terminated;
        terminated(entry);
    }
    if (iface->open) {
        iface->open = false;
        closeDevice(entry);
    }
    m_interfaces.erase(entry);
}

void HidBackendBase::storeValue(HidEntry entry, HidCookie cookie, qint32 value)
{
    if (Interface *iface = find(entry))
        iface->values.insert(cookie, value);
}

void HidBackendBase::reportValues(HidEntry entry, const std::vector<HidQueuedValue> &changes)
{
    const auto it = m_interfaces.find(entry);
    if (it == m_interfaces.end() || !it->second->alive)
        return;
    const std::shared_ptr<Interface> iface = it->second;
    bool queued = false;
    for (const HidQueuedValue &change : changes) {
        iface->values.insert(change.cookie, change.value);
        Queue *queue = iface->queue.get();
        if (!queue || !queue->started || !queue->members.contains(change.cookie))
            continue;
        if (static_cast<int>(queue->pending.size()) >= queue->depth) {
            if (!iface->dropReported)
                qCWarning(lcHidBackend).noquote() << "HID queue full, dropping key events";
            iface->dropReported = true;
            continue;
        }
        queue->pending.push_back(change);
        queued = true;
    }
    if (queued && iface->queue && iface->queue->wakeUp) {
        const WakeUpHandler wakeUp = iface->queue->wakeUp;
        wakeUp();
    }
}

} // namespace brevona
