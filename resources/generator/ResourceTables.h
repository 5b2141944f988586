#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariantMap>

namespace brevona {

class KeyTable;

// The property-list resources, each built from the keyboard table in the form its readers expect.
// Points, sizes and rectangles are written in the platform's text notation: "{x, y}", "{w, h}",
// "{{x, y}, {w, h}}", with y counted downwards from the top of the layer picture.
class ResourceTables
{
public:
    static QString pointString(QPoint point);
    static QString sizeString(QSize size);
    static QString rectString(const QRect &rect);

    // "LumivoxBrevonaData": key -> {"Location", "OLEDIndex", "KeyIndex", "Char"}
    static QVariantMap buttonInformation(const KeyTable &table);
    // "LumivoxBrevonaType": "ButtonsSize", "VisualDelta", "ButtonsLocations", "ButtonsNonStandardAreas"
    static QVariantMap geometry(const KeyTable &table);
    // "LumivoxUsageTable": "Standard" (keyboard page) and "Multimedia" (consumer page),
    // usage number as decimal text -> key name
    static QVariantMap usageTable(const KeyTable &table);
    // "VirtualKeyCodes": character key -> X11 key code
    static QVariantMap virtualKeyCodes(const KeyTable &table);
    // "DefaultLayerData": control key -> offered labels, default first
    static QVariantMap defaultLayerData(const KeyTable &table);
    // "OLEDNumbers": key -> display number
    static QVariantMap oledNumbers(const KeyTable &table);
    // "LumivoxBrevonaMiniPreview": key -> rectangle in "keyboardPreviewSmall.png"
    static QVariantMap miniPreview(const KeyTable &table);
    // The driver's "BlackLayer/Layer.plist": every key with a display, defined without plugins.
    static QVariantMap blackLayer(const KeyTable &table);
};

} // namespace brevona
