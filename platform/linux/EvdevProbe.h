#pragma once

#include <bitset>
#include <optional>
#include <vector>

#include <linux/input.h>

#include <QHash>
#include <QString>
#include <QtGlobal>

namespace brevona {

// The HID side of an event device: what its key capabilities make of it, and the keymap and key
// states read from an open device node.
class EvdevProbe
{
public:
    using KeyBits = std::bitset<KEY_CNT>;

    struct KeymapEntry
    {
        quint32 hidUsage = 0; // page << 16 | usage
        int keyCode = 0;      // KEY_RESERVED when the kernel gives the usage no key
    };

    // The primary usage an interface with these keys stands for: 6 for a keyboard (it has the
    // letter keys), 1 for consumer control (media and application-launch keys but no letters),
    // 0 for anything else (mice, system control, lid switches).
    static int primaryUsageForKeys(const KeyBits &keys);
    // Parses the key capabilities as sysfs writes them ("capabilities/key": hexadecimal words of
    // the kernel's long size, most significant first, separated by spaces).
    static std::optional<KeyBits> parseCapabilities(const QByteArray &text);

    // Reads the whole keymap of an open device (EVIOCGKEYCODE_V2 by index). Nothing when the
    // device does not list it.
    static std::optional<std::vector<KeymapEntry>> readKeymap(int fd);
    // The keys held down right now (EVIOCGKEY).
    static std::optional<KeyBits> readPressedKeys(int fd);
    // key code -> HID usage, for decoding events that come without MSC_SCAN.
    static QHash<int, quint32> usageForKeyCode(const std::vector<KeymapEntry> &keymap);
};

} // namespace brevona
