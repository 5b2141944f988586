#include "PluginArtwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include "KeyTable.h"

namespace brevona {

QImage PluginArtwork::itemMask()
{
    QImage image(MaskWidth, MaskHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A soft shadow under the cap, then the cap itself, lit from above.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 70));
    painter.drawRoundedRect(QRectF(1.5, 3.5, MaskWidth - 3, MaskHeight - 4), 7, 7);
    QLinearGradient cap(0, 0, 0, MaskHeight);
    cap.setColorAt(0, QColor(0x5a, 0x5a, 0x5e));
    cap.setColorAt(1, QColor(0x26, 0x26, 0x29));
    painter.setBrush(cap);
    painter.setPen(QPen(QColor(0x14, 0x14, 0x16), 1));
    painter.drawRoundedRect(QRectF(0.5, 0.5, MaskWidth - 1, MaskHeight - 3), 7, 7);
    // The display's well: black where the icon goes, with a thin rim.
    const int side = KeyTable::kCellSize;
    painter.setPen(QPen(QColor(0x10, 0x10, 0x10), 1));
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(4.5, 5.5, side + 1, side + 1));
    return image;
}

QImage PluginArtwork::unknownIcon()
{
    const int side = KeyTable::kCellSize;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // A puzzle-grey rounded square with a question mark: a plugin, but which is not known.
    painter.setPen(QPen(QColor(0x9e, 0x9e, 0x9e), 2));
    painter.setBrush(QColor(0x42, 0x42, 0x46));
    painter.drawRoundedRect(QRectF(7, 7, side - 14, side - 14), 6, 6);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(24);
    painter.setFont(font);
    painter.setPen(QColor(0xe0, 0xe0, 0xe0));
    painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, QStringLiteral("?"));
    return image;
}

} // namespace brevona
