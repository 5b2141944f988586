#include "StockIcons.h"

#include <QFont>
#include <QPainter>

#include "KeyTable.h"

namespace brevona {

namespace {

struct Icon
{
    const char *symbol; // UTF-8, in the sans font the configurator draws labels with
    QRgb colour;
};

// Row by row from the top: media, communication, symbols, arrows, objects, marks.
// clang-format off
constexpr Icon kIcons[StockIcons::Columns * StockIcons::Rows] = {
    {"▶", 0x4caf50}, {"◀", 0x4caf50}, {"■", 0xf44336}, {"●", 0xe53935}, {"▲", 0x90caf9},
    {"✉", 0xffffff}, {"☎", 0xffffff}, {"✎", 0xffe082}, {"✂", 0xcfd8dc}, {"⌨", 0xcfd8dc},
    {"★", 0xffd54f}, {"♥", 0xe53935}, {"☀", 0xffb300}, {"☾", 0xb0bec5}, {"♪", 0x80deea},
    {"←", 0xffffff}, {"→", 0xffffff}, {"↑", 0xffffff}, {"↓", 0xffffff}, {"↻", 0x81c784},
    {"⌂", 0xa1887f}, {"⚙", 0x90a4ae}, {"⚑", 0xef5350}, {"⚠", 0xffca28}, {"☕", 0x8d6e63},
    {"✓", 0x66bb6a}, {"✗", 0xef5350}, {"+", 0xffffff}, {"−", 0xffffff}, {"?", 0x64b5f6},
};
// clang-format on

} // namespace

QImage StockIcons::library()
{
    const int cell = KeyTable::kCellSize;
    QImage image(Columns * cell, Rows * cell, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    painter.setFont(font);
    for (int i = 0; i < Columns * Rows; ++i) {
        const QRect tile((i % Columns) * cell, (i / Columns) * cell, cell, cell);
        painter.setPen(QColor(kIcons[i].colour));
        painter.drawText(tile, Qt::AlignCenter, QString::fromUtf8(kIcons[i].symbol));
    }
    return image;
}

} // namespace brevona
