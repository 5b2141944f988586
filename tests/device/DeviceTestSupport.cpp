#include "DeviceTestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTransform>

namespace brevona::test {

QImage solidImage(const QColor &color, int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image.convertToFormat(format);
}

QImage noiseImage(quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(48, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x)
            image.setPixel(x, y, 0xFF000000u | (random.generate() & 0xFFFFFFu));
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QByteArray referenceEncoding(const QImage &picture, bool turned)
{
    const QImage source = (turned ? picture.transformed(QTransform().rotate(90)) : picture)
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray bytes;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = source.pixel(x, y);
            const int green = qGreen(pixel) < 8 ? 0 : qGreen(pixel);
            const quint16 value =
                quint16(((qRed(pixel) >> 3) << 11) | ((green >> 2) << 5) | (qBlue(pixel) >> 3));
            bytes.append(char(value >> 8));
            bytes.append(char(value & 0xFF));
        }
    }
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace brevona::test
