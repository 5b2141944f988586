#pragma once

#include <optional>
#include <vector>

#include <QHash>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include "HidUsageTable.h"
#include "StoreNames.h"
#include "VolumeLayout.h"

namespace brevona {

// Read-only view of the keyboard data set generated at build time from the keyboard table:
// every key with its display number, the 48 x 48 cell of its picture in the layer picture, its
// larger outline when it has one, its position in the scancode table and its X11 key code, plus
// the usage table of the HID side. Both programs and the tools read the keyboard through it.
class KeyboardData
{
public:
    struct Key
    {
        QString name;              // button identifier
        int display = 0;           // "OLEDIndex", 1..114; 0 for a key without a display
        int keyIndex = 0;          // "KeyIndex": the key's record in the scancode table, 1-based
        int keyCode = 0;           // "Char": X11 key code (evdev code + 8); 0 when the key has none
        QPoint location;           // "Location": top-left corner of the cell, y downwards
        std::optional<QRect> area; // "ButtonsNonStandardAreas": outline of a larger key

        QRect cell() const { return QRect(location, QSize(kCellSize, kCellSize)); }
        QRect outline() const { return area.value_or(cell()); }
        bool isTurned() const { return isTurnedDisplay(display); }
    };

    static constexpr int kDisplayCount = volumelayout::DisplayCount;
    static constexpr int kCellSize = volumelayout::DisplaySide;
    static constexpr int kPictureWidth = storenames::PictureWidth;
    static constexpr int kPictureHeight = storenames::PictureHeight;
    static constexpr int kUsagePageKeyboard = HidUsageTable::kKeyboardPage;
    static constexpr int kUsagePageConsumer = HidUsageTable::kConsumerPage;

    // Displays 3 and 14 are mounted a quarter turn round: their pictures are sent turned.
    static bool isTurnedDisplay(int display) { return display == 3 || display == 14; }

    // Reads the data set from a resource folder. Nothing (with one log line) when a file is
    // missing or malformed, or the tables contradict each other.
    static std::optional<KeyboardData> load(const QString &folder);
    // The data set of the resource folder of this installation (platform Paths; the variable
    // BREVONA_RESOURCE_DIR overrides it), read on first use. Empty when it cannot be read.
    static const KeyboardData &shared();

    // "{x, y}", "{w, h}" and "{{x, y}, {w, h}}" as the resource files write them.
    static std::optional<QPoint> parsePoint(const QString &text);
    static std::optional<QSize> parseSize(const QString &text);
    static std::optional<QRect> parseRect(const QString &text);

    bool isEmpty() const { return m_keys.empty(); }
    QString folder() const { return m_folder; }
    // Path of a resource file in the folder the data came from ("scancode.sys", "Loading48x48.png").
    QString filePath(const QString &fileName) const;

    const std::vector<Key> &keys() const { return m_keys; } // in display order, keys without display last
    QStringList keyNames() const;
    const Key *key(const QString &name) const;
    const Key *keyForDisplay(int display) const;

    // Name the usage table gives a HID usage ("A", "ShiftLeft", or a multimedia name such as
    // "Word*"); empty when the usage is not in the table.
    QString nameForUsage(int page, int usage) const;
    // The usages the table reports under a key's own name, keyboard page first.
    std::vector<std::pair<int, int>> usagesForKey(const QString &name) const;
    // "VirtualKeyCodes": the keys whose character depends on the input language, with key codes.
    const QHash<QString, int> &virtualKeyCodes() const { return m_virtualKeyCodes; }

private:
    QString m_folder;
    std::vector<Key> m_keys;
    QHash<QString, int> m_byName;
    QHash<int, int> m_byDisplay;
    HidUsageTable m_usages;
    QHash<QString, int> m_virtualKeyCodes;
};

} // namespace brevona
