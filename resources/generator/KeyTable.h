#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QRect>
#include <QString>
#include <QStringList>

#include "StoreNames.h"
#include "VolumeLayout.h"

namespace brevona {

// The hand-written keyboard table (resources/keyboard.tsv) in memory. Parsing checks every cell,
// so a typing error in the table stops the build with the line number instead of producing
// resource files that disagree with each other.
class KeyTable
{
public:
    enum class Kind
    {
        Char,
        Control,
        App
    };

    struct Usage
    {
        int page = 0;
        int usage = 0;
    };

    struct Key
    {
        QString name;
        int display = 0;                            // 0: the key has no display
        int matrix = 0;                             // position in the scancode table, 1-based; 0: none
        double x = 0, y = 0, width = 1, height = 1; // key cap in key units
        QString evdevName;                          // empty: no key code
        int evdevCode = 0;                          // filled in by resolveEvdevCodes()
        std::optional<Usage> usage;
        QString hidName; // empty: the usage is named after the key
        std::optional<Usage> driverUsage;
        Kind kind = Kind::Control;
        QStringList labels;

        // X11 key code (evdev + 8) when it fits the 8-bit "Char"; 0 otherwise.
        int x11KeyCode() const;
        QString usageName() const { return hidName.isEmpty() ? name : hidName; }
    };

    // The fixed facts of the keyboard that no table row can change.
    static constexpr int kPictureWidth = storenames::PictureWidth;
    static constexpr int kPictureHeight = storenames::PictureHeight;
    static constexpr int kCellSize = volumelayout::DisplaySide;
    static constexpr int kDisplayCount = volumelayout::DisplayCount;
    static constexpr int kMatrixPositions = volumelayout::ScancodeRecordCount;

    // Parses the table text. On failure, `error` holds "line N: what is wrong".
    static std::optional<KeyTable> parse(const QString &text, QString *error);
    static std::optional<KeyTable> readFile(const QString &path, QString *error);

    // Looks up every key's evdev name; names missing from `codes` are an error.
    bool resolveEvdevCodes(const std::function<std::optional<int>(const QString &)> &lookup, QString *error);

    // Checks what the rows must agree on: unique names, display numbers and matrix positions,
    // cells inside the picture and apart from each other.
    bool validate(QString *error) const;

    const std::vector<Key> &keys() const { return m_keys; }
    int unit() const { return m_unit; }
    QPoint origin() const { return m_origin; }

    // Geometry in layer-picture pixels, origin top-left.
    QRect capRect(const Key &key) const;
    QRect cellRect(const Key &key) const;    // the 48 x 48 display
    QRect outlineRect(const Key &key) const; // the key's full area, shrunk like a standard cell
    bool isStandardSize(const Key &key) const;
    // Smallest rectangle holding every key cap.
    QRect keyboardBounds() const;

    // The miniature keyboard icon of the layer list: kMiniUnit pixels per key unit, each key a
    // block one pixel narrower and lower than its pitch, so a standard key is 2 x 2 pixels.
    static constexpr int kMiniUnit = 3;
    static constexpr int kMiniMargin = 2;
    QSize miniSize() const;
    QRect miniRect(const Key &key) const; // origin top-left

private:
    std::vector<Key> m_keys;
    int m_unit = 0;
    QPoint m_origin;
};

} // namespace brevona
