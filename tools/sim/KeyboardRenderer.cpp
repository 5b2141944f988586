#include "KeyboardRenderer.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

#include "KeyboardData.h"
#include "Rgb565Codec.h"
#include "SimulatedVolume.h"

namespace brevona {

KeyboardRenderer::KeyboardRenderer(const KeyboardData &data, const QImage &background)
    : m_data(data)
{
    const QSize pictureSize(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight);
    if (background.size() == pictureSize) {
        m_background = background.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else {
        m_background = QImage(pictureSize, QImage::Format_ARGB32_Premultiplied);
        m_background.fill(Qt::black);
    }
}

QImage KeyboardRenderer::render(const SimulatedVolume &volume) const
{
    QImage picture = m_background.copy();
    if (!volume.isMounted())
        return picture;
    const QByteArray layout = volume.readLayout();
    QPainter painter(&picture);
    for (const KeyboardData::Key &key : m_data.keys()) {
        if (!key.display)
            continue;
        const bool driven = key.display <= layout.size() && layout[key.display - 1] != '\0';
        if (!driven) {
            painter.drawImage(key.location, builtInPicture(key.name));
            continue;
        }
        // A missing or cut-short file leaves the display dark, as the panel shows nothing new.
        const auto bytes = volume.readDisplay(key.display);
        const auto shown = bytes ? Rgb565Codec::decode(*bytes, key.isTurned()) : std::nullopt;
        if (shown)
            painter.drawImage(key.location, *shown);
        else
            painter.fillRect(key.cell(), Qt::black);
    }
    return picture;
}

QImage KeyboardRenderer::builtInPicture(const QString &keyName)
{
    QImage image(KeyboardData::kCellSize, KeyboardData::kCellSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // "ShiftLeft" reads better as "Shift Left" across two lines of the small panel.
    static const QRegularExpression wordStart(QStringLiteral("(?<=[a-z])(?=[A-Z0-9])"));
    const QStringList lines =
        QString(keyName).replace(wordStart, QStringLiteral("\n")).split(QLatin1Char('\n'));
    QFont font;
    font.setPixelSize(keyName.size() == 1 ? 22 : keyName.size() <= 3 ? 16 : 11);
    const auto widest = [&] {
        int width = 0;
        for (const QString &line : lines)
            width = std::max(width, QFontMetrics(font).horizontalAdvance(line));
        return width;
    };
    while (font.pixelSize() > 6 && widest() > KeyboardData::kCellSize - 4)
        font.setPixelSize(font.pixelSize() - 1);
    painter.setFont(font);
    painter.setPen(QColor(0xB4, 0xB4, 0xB4));
    painter.drawText(image.rect(), Qt::AlignCenter, lines.join(QLatin1Char('\n')));
    return image;
}

} // namespace brevona
