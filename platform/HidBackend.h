#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QString>
#include <QtGlobal>

namespace brevona {

// One HID interface of a device as the system's registry knows it; 0 stands for none.
using HidEntry = quint64;
// Identifies one input element within its interface.
using HidCookie = quint32;

// The element types a backend reports; only button inputs carry key presses.
enum class HidElementType
{
    Misc = 1,
    Button = 2,
    Axis = 3,
};

struct HidElement
{
    HidCookie cookie = 0;
    int usagePage = 0;
    int usage = 0;
    HidElementType type = HidElementType::Button;
};

// One queued value change of an element.
struct HidQueuedValue
{
    HidCookie cookie = 0;
    HidElementType type = HidElementType::Button;
    qint32 value = 0;
};

// What arrival tells about an interface: the device's numbers and the interface's primary usage
// (6 keyboard, 1 consumer control, anything else for other collections).
struct HidServiceProperties
{
    int vendorId = 0;
    int productId = 0;
    int primaryUsage = 0;
};

// Raw HID input of USB devices, one interface at a time: arrival and removal of interfaces, their
// input elements with usage page and usage, each element's last reported value, and a queue of
// value changes that wakes its reader on the main loop. Every call and callback happens on the
// main thread.
class HidBackend
{
public:
    using ServiceHandler = std::function<void(HidEntry)>;
    using WakeUpHandler = std::function<void()>;
    // Resolves a key name of the usage table to its usage page and usage (keyboard page first);
    // the simulated keyboard needs it to turn names into presses.
    using UsageResolver = std::function<std::optional<std::pair<int, int>>(const QString &name)>;

    virtual ~HidBackend() = default;

    // Arms arrival and removal reports for the interfaces of devices with these USB numbers. The
    // interfaces present already are reported through `matched` before this returns. False when
    // the backend cannot watch devices at all.
    virtual bool startMatching(int vendorId, int productId, ServiceHandler matched,
                               ServiceHandler terminated) = 0;
    // Drops the handlers given to startMatching and every queue's wake-up: nothing is reported
    // afterwards. The watcher calls it before it goes away.
    virtual void stopMatching() = 0;
    virtual std::optional<HidServiceProperties> serviceProperties(HidEntry entry) const = 0;
    // False once the interface is gone, even before its removal has been reported.
    virtual bool isServiceAlive(HidEntry entry) const = 0;

    // Opens the interface without exclusive access. 0 on success, otherwise an error code.
    virtual int open(HidEntry entry) = 0;
    // The interface's input elements of one usage page; nothing when they cannot be read.
    virtual std::optional<std::vector<HidElement>> copyElements(HidEntry entry, int usagePage) = 0;
    // The element's last reported value.
    virtual std::optional<qint32> elementValue(HidEntry entry, HidCookie cookie) const = 0;
    // A queue of value changes holding at most `depth` entries; changes beyond it are dropped.
    virtual bool createQueue(HidEntry entry, int depth) = 0;
    virtual void addElementToQueue(HidEntry entry, HidCookie cookie) = 0;
    // Starts the queue; `wakeUp` runs on the main loop whenever changes were queued.
    virtual bool startQueue(HidEntry entry, WakeUpHandler wakeUp) = 0;
    // The oldest queued change, without waiting.
    virtual std::optional<HidQueuedValue> nextQueuedValue(HidEntry entry) = 0;
    // Disposes of the queue and closes the interface. Harmless for entries that are not open.
    virtual void close(HidEntry entry) = 0;

    // The simulated keyboard when BREVONA_SIMULATED_KEYBOARD names a folder, else the system's
    // input devices.
    static std::unique_ptr<HidBackend> create(UsageResolver resolver);
};

} // namespace brevona
