#include "Rgb565Codec.h"

#include "Rgb565.h"

namespace brevona {

namespace {

// Where pixel (x, y) of the upright picture lies in a turned display's memory: a quarter turn
// clockwise sends the top-left corner to the top-right.
QPoint turnedPosition(int x, int y)
{
    return QPoint(Rgb565Codec::kSide - 1 - y, x);
}

} // namespace

quint16 Rgb565Codec::pack(int red, int green, int blue)
{
    return rgb565::packed(red, rgb565::keptGreen(green), blue);
}

QRgb Rgb565Codec::unpack(quint16 value)
{
    const int red = (value >> 11) & 0x1F;
    const int green = (value >> 5) & 0x3F;
    const int blue = value & 0x1F;
    return qRgb((red << 3) | (red >> 2), (green << 2) | (green >> 4), (blue << 3) | (blue >> 2));
}

QByteArray Rgb565Codec::encode(const QImage &picture, bool turned)
{
    QImage source = picture.size() == QSize(kSide, kSide) ? picture : picture.scaled(kSide, kSide);
    source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray bytes(kByteCount, '\0');
    for (int y = 0; y < kSide; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = 0; x < kSide; ++x) {
            const QPoint at = turned ? turnedPosition(x, y) : QPoint(x, y);
            const quint16 value = pack(qRed(row[x]), qGreen(row[x]), qBlue(row[x]));
            const int offset = (at.y() * kSide + at.x()) * 2;
            bytes[offset] = static_cast<char>(value >> 8);
            bytes[offset + 1] = static_cast<char>(value & 0xFF);
        }
    }
    return bytes;
}

std::optional<QImage> Rgb565Codec::decode(const QByteArray &bytes, bool turned)
{
    if (bytes.size() != kByteCount)
        return std::nullopt;
    QImage picture(kSide, kSide, QImage::Format_RGB32);
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    for (int y = 0; y < kSide; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < kSide; ++x) {
            const QPoint at = turned ? turnedPosition(x, y) : QPoint(x, y);
            const int offset = (at.y() * kSide + at.x()) * 2;
            row[x] = unpack(static_cast<quint16>((data[offset] << 8) | data[offset + 1]));
        }
    }
    return picture;
}

} // namespace brevona
