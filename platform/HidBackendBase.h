#pragma once

#include <deque>
#include <map>
#include <memory>

#include <QHash>
#include <QList>
#include <QSet>

#include "HidBackend.h"

namespace brevona {

// The bookkeeping every backend shares: the attached interfaces with their elements, the last
// reported value of each element and the queues. A concrete backend finds interfaces, attaches
// them here and hands over each input report of a device as one batch of value changes.
class HidBackendBase : public HidBackend
{
public:
    bool startMatching(int vendorId, int productId, ServiceHandler matched,
                       ServiceHandler terminated) override;
    void stopMatching() override;
    std::optional<HidServiceProperties> serviceProperties(HidEntry entry) const override;
    bool isServiceAlive(HidEntry entry) const override;
    int open(HidEntry entry) override;
    std::optional<std::vector<HidElement>> copyElements(HidEntry entry, int usagePage) override;
    std::optional<qint32> elementValue(HidEntry entry, HidCookie cookie) const override;
    bool createQueue(HidEntry entry, int depth) override;
    void addElementToQueue(HidEntry entry, HidCookie cookie) override;
    bool startQueue(HidEntry entry, WakeUpHandler wakeUp) override;
    std::optional<HidQueuedValue> nextQueuedValue(HidEntry entry) override;
    void close(HidEntry entry) override;

    QList<HidEntry> attachedEntries() const;

protected:
    // Called once by startMatching before the present interfaces are reported: find what is
    // attached already and arm the arrival and removal reports. False when nothing can be watched.
    virtual bool armWatching() { return true; }
    // Opening an interface: 0 or an error code. The backend may fill in elements here.
    virtual int openDevice(HidEntry) { return 0; }
    virtual void closeDevice(HidEntry) {}

    int matchedVendorId() const { return m_vendorId; }
    int matchedProductId() const { return m_productId; }

    // Adds an interface and reports its arrival once matching has started; never reuses an entry.
    HidEntry attachInterface(const HidServiceProperties &properties, std::vector<HidElement> elements = {},
                             const QHash<HidCookie, qint32> &values = {});
    // The two halves of attachInterface, for a backend that keeps its own record of the entry
    // before anyone hears of it.
    HidEntry registerInterface(const HidServiceProperties &properties, std::vector<HidElement> elements = {},
                               const QHash<HidCookie, qint32> &values = {});
    void announceInterface(HidEntry entry);
    void setElements(HidEntry entry, std::vector<HidElement> elements,
                     const QHash<HidCookie, qint32> &values);
    // Marks the interface gone and reports its removal; the interface is forgotten afterwards.
    void detachInterface(HidEntry entry);
    // One input report of the device: the changed values in the order they came. Changes of
    // queued elements are queued (up to the queue's depth); the queue's reader is woken once.
    void reportValues(HidEntry entry, const std::vector<HidQueuedValue> &changes);
    // Changes a value without queueing it.
    void storeValue(HidEntry entry, HidCookie cookie, qint32 value);

private:
    struct Queue
    {
        int depth = 0;
        QSet<HidCookie> members;
        std::deque<HidQueuedValue> pending;
        WakeUpHandler wakeUp;
        bool started = false;
    };
    struct Interface
    {
        HidServiceProperties properties;
        std::vector<HidElement> elements;
        QHash<HidCookie, qint32> values;
        std::unique_ptr<Queue> queue;
        bool alive = true;
        bool open = false;
        bool dropReported = false;
    };

    Interface *find(HidEntry entry) const;

    std::map<HidEntry, std::shared_ptr<Interface>> m_interfaces;
    HidEntry m_nextEntry = 1;
    ServiceHandler m_matched;
    ServiceHandler m_terminated;
    int m_vendorId = 0;
    int m_productId = 0;
    bool m_started = false;
};

} // namespace brevona
