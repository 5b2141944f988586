#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>

namespace brevona::test {

QImage solidImage(const QColor &color, int width = 48, int height = 48,
                  QImage::Format format = QImage::Format_ARGB32_Premultiplied);
// A picture with a different colour in every pixel.
QImage noiseImage(quint32 seed);

// The display rule written out independently of the device: 16-bit 5-6-5, big-endian, with green
// below 8 dropped; a turned display gets the picture a quarter turn clockwise.
QByteArray referenceEncoding(const QImage &picture, bool turned);

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace brevona::test
