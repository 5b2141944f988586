#include "EvdevProbe.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/ioctl.h>

#include <QByteArray>
#include <QList>

namespace brevona {

namespace {

// Keys only a consumer-control collection sends: media transport, volume, application launch
// and the document commands of the application keys.
constexpr int kConsumerKeys[] = {
    KEY_MUTE, KEY_VOLUMEDOWN, KEY_VOLUMEUP, KEY_PLAYPAUSE,  KEY_NEXTSONG,      KEY_PREVIOUSSONG, KEY_STOPCD,
    KEY_CALC, KEY_MAIL,       KEY_WWW,      KEY_HOMEPAGE,   KEY_WORDPROCESSOR, KEY_SPREADSHEET,  KEY_NEW,
    KEY_OPEN, KEY_CLOSE,      KEY_SAVE,     KEY_SPELLCHECK, KEY_CALENDAR,      KEY_MEDIA};

constexpr int kLetterKeys[] = {KEY_Q, KEY_W, KEY_E, KEY_A, KEY_S, KEY_D, KEY_Z, KEY_X, KEY_C, KEY_SPACE};

} // namespace

int EvdevProbe::primaryUsageForKeys(const KeyBits &keys)
{
    bool letters = true;
    for (int key : kLetterKeys)
        letters = letters && keys.test(key);
    if (letters)
        return 6;
    for (int key : kConsumerKeys) {
        if (keys.test(key))
            return 1;
    }
    return 0;
}

std::optional<EvdevProbe::KeyBits> EvdevProbe::parseCapabilities(const QByteArray &text)
{
    const QList<QByteArray> words = text.trimmed().split(' ');
    constexpr int bitsPerWord = sizeof(unsigned long) * CHAR_BIT;
    KeyBits keys;
    for (qsizetype i = 0; i < words.size(); ++i) {
        bool ok = false;
        const unsigned long long word = words[words.size() - 1 - i].toULongLong(&ok, 16);
        if (!ok)
            return std::nullopt;
        for (int bit = 0; bit < bitsPerWord; ++bit) {
            const qsizetype index = i * bitsPerWord + bit;
            // Bits past the highest key code this build knows cannot be keys it asks about.
            if (((word >> bit) & 1ULL) && index < KEY_CNT)
                keys.set(index);
        }
    }
    return keys;
}

std::optional<std::vector<EvdevProbe::KeymapEntry>> EvdevProbe::readKeymap(int fd)
{
    std::vector<KeymapEntry> keymap;
    // HID devices list a few hundred usages; the bound keeps a misbehaving driver from looping.
    for (unsigned index = 0; index < 65536; ++index) {
        input_keymap_entry entry{};
        entry.flags = INPUT_KEYMAP_BY_INDEX;
        entry.index = static_cast<__u16>(index);
        if (::ioctl(fd, EVIOCGKEYCODE_V2, &entry) < 0)
            break;
        quint32 usage = 0;
        if (entry.len == sizeof usage)
            std::memcpy(&usage, entry.scancode, sizeof usage);
        else
            continue;
        keymap.push_back(KeymapEntry{usage, static_cast<int>(entry.keycode)});
    }
    if (keymap.empty())
        return std::nullopt;
    return keymap;
}

std::optional<EvdevProbe::KeyBits> EvdevProbe::readPressedKeys(int fd)
{
    unsigned char bytes[(KEY_CNT + 7) / 8] = {};
    if (::ioctl(fd, EVIOCGKEY(sizeof bytes), bytes) < 0)
        return std::nullopt;
    KeyBits keys;
    for (int key = 0; key < KEY_CNT; ++key) {
        if (bytes[key / 8] & (1u << (key % 8)))
            keys.set(key);
    }
    return keys;
}

QHash<int, quint32> EvdevProbe::usageForKeyCode(const std::vector<KeymapEntry> &keymap)
{
    QHash<int, quint32> usages;
    for (const KeymapEntry &entry : keymap) {
        if (entry.keyCode != KEY_RESERVED && !usages.contains(entry.keyCode))
            usages.insert(entry.keyCode, entry.hidUsage);
    }
    return usages;
}

} // namespace brevona
