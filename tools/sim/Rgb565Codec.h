#pragma once

#include <optional>

#include <QByteArray>
#include <QImage>

#include "VolumeLayout.h"

namespace brevona {

// The keyboard's display encoding: 48 x 48 pixels of 16-bit RGB 5-6-5, most significant byte
// first, rows from the top, a green value below 8 dropped to 0. A turned display (3 and 14)
// receives its picture a quarter turn clockwise, so that it shows upright on the mounted panel.
// The simulator decodes what the driver wrote; the encoder is the same rule in the other
// direction, for writing display files from known pictures.
class Rgb565Codec
{
public:
    static constexpr int kSide = volumelayout::DisplaySide;
    static constexpr int kByteCount = volumelayout::DisplayFileSize;

    // A picture of another size is scaled to 48 x 48 first. Alpha is ignored: the colour values
    // are taken as a premultiplied bitmap holds them.
    static QByteArray encode(const QImage &picture, bool turned);
    // The upright picture a display file shows; nothing unless there are exactly 4608 bytes.
    static std::optional<QImage> decode(const QByteArray &bytes, bool turned);

    static quint16 pack(int red, int green, int blue);
    // Each field widened to 8 bits by repeating its top bits, so white stays white.
    static QRgb unpack(quint16 value);
};

} // namespace brevona
