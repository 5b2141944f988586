#pragma once

#include <vector>

#include <linux/input.h>

#include <QHash>
#include <QtGlobal>

namespace brevona {

// A key change of one HID usage, written as the kernel writes it in MSC_SCAN: page << 16 | usage.
struct EvdevKeyChange
{
    quint32 hidUsage = 0;
    bool pressed = false;

    bool operator==(const EvdevKeyChange &) const = default;
};

// One input report of an event device, as it ends with SYN_REPORT.
struct EvdevFrame
{
    std::vector<EvdevKeyChange> changes;
    // The kernel's buffer overflowed before this frame: the key states must be read again.
    bool resyncNeeded = false;
};

// Turns the event stream of an event device into HID key changes. The kernel writes MSC_SCAN with
// the HID usage just before each key's EV_KEY; a key event without one falls back to the usage the
// key code was last seen with, or to the device's keymap. Autorepeat (value 2) is the input layer's
// invention, not the keyboard's, and is dropped. After SYN_DROPPED everything up to the next
// SYN_REPORT is discarded and that frame asks for a resync.
class EvdevFrameDecoder
{
public:
    // `usageForKeyCode`: the device's keymap, key code -> HID usage.
    explicit EvdevFrameDecoder(QHash<int, quint32> usageForKeyCode = {});

    // Feeds one event; returns true when it completed a frame, which `frame` then holds.
    bool feed(const input_event &event, EvdevFrame &frame);

private:
    QHash<int, quint32> m_usageForKeyCode;
    std::vector<EvdevKeyChange> m_pending;
    quint32 m_scan = 0;
    bool m_haveScan = false;
    bool m_dropping = false;
};

} // namespace brevona
