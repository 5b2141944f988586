#pragma once

#include <optional>

#include <QImage>
#include <QPoint>
#include <QString>

namespace brevona {

// The geometry shared by every layer: 48 x 48 key pictures placed at their cells in the
// 1312 x 376 layer picture (top-left corners from the keyboard data set, y downwards), the shared
// black key picture and the placeholder shown while a stored picture is being read.
class LayerPicture
{
public:
    static constexpr int KeySize = 48;
    static constexpr int Width = 1312;
    static constexpr int Height = 376;
    static constexpr QImage::Format PixelFormat = QImage::Format_ARGB32_Premultiplied;

    // The black key picture, made once per process.
    static const QImage &blackKey();
    // A new black layer picture.
    static QImage blackLayer();
    // "Loading48x48" of the keyboard data set; a transparent picture (drawing nothing) when the
    // resource is missing, logged once.
    static const QImage &placeholder();
    // The top-left corner of a key's cell; nothing for a key without a display.
    static std::optional<QPoint> location(const QString &keyName);

    // A stored layer picture ("Main.tiff"), opaque: transparent parts become black as the driver
    // shows them. Nothing, with one log line, when the file is missing or not a picture. A picture
    // of another size is logged and kept: keys are cut at their cells from its top-left corner and
    // what lies outside it is black, as the driver cuts it.
    static std::optional<QImage> readStored(const QString &path);
    // The key picture at `location` of an opaque layer picture (black outside it).
    static QImage cut(const QImage &layer, QPoint location);
    // A picture over black, in the pixel format of the layer pictures.
    static QImage opaque(const QImage &picture);
    // The same, scaled to 48 x 48 when it has another size.
    static QImage keyPicture(const QImage &picture);
};

} // namespace brevona
