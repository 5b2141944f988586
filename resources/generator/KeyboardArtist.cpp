#include "KeyboardArtist.h"

#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "KeyTable.h"

namespace brevona {

namespace {

struct Palette
{
    QColor caseTop, caseBottom, caseEdge, plate;
    QColor capSide, capTop, capBottom, capEdge, shadow;
    QColor ledOff, ledOn;
};

Palette paletteFor(KeyboardArtist::Finish finish)
{
    if (finish == KeyboardArtist::Finish::White) {
        return {QColor(0xEE, 0xEF, 0xF1), QColor(0xD2, 0xD4, 0xD8), QColor(0xA8, 0xAB, 0xB0),
                QColor(0xC9, 0xCB, 0xCF), QColor(0xB9, 0xBB, 0xC0), QColor(0xFD, 0xFD, 0xFD),
                QColor(0xE8, 0xE9, 0xEB), QColor(0x9C, 0x9F, 0xA5), QColor(0, 0, 0, 60),
                QColor(0xB0, 0xB4, 0xB0), QColor(0x4C, 0xD9, 0x64)};
    }
    return {QColor(0x3A, 0x3B, 0x3F), QColor(0x22, 0x23, 0x26), QColor(0x0E, 0x0E, 0x10),
            QColor(0x16, 0x17, 0x19), QColor(0x12, 0x12, 0x14), QColor(0x3C, 0x3D, 0x42),
            QColor(0x2A, 0x2B, 0x2F), QColor(0x08, 0x08, 0x0A), QColor(0, 0, 0, 110),
            QColor(0x30, 0x36, 0x30), QColor(0x3C, 0xE0, 0x5A)};
}

QImage transparentCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

KeyboardArtist::KeyboardArtist(const KeyTable &table)
    : m_table(table)
{}

QImage KeyboardArtist::background(Finish finish) const
{
    const Palette colors = paletteFor(finish);
    QImage image = transparentCanvas(KeyTable::kPictureWidth, KeyTable::kPictureHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // The case: as large as the picture allows around the keys, with a soft shadow at its foot.
    const QRect keys = m_table.keyboardBounds();
    const int margin = std::min({keys.left(), keys.top(), KeyTable::kPictureWidth - 1 - keys.right(),
                                 KeyTable::kPictureHeight - 1 - keys.bottom()});
    const QRectF caseRect = QRectF(keys).adjusted(-margin + 3, -margin + 2, margin - 3, margin - 4);
    for (int i = 4; i >= 1; --i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 14));
        painter.drawRoundedRect(caseRect.adjusted(-i * 0.5, 0, i * 0.5, i), 16, 16);
    }
    QLinearGradient caseGradient(caseRect.topLeft(), caseRect.bottomLeft());
    caseGradient.setColorAt(0, colors.caseTop);
    caseGradient.setColorAt(1, colors.caseBottom);
    painter.setBrush(caseGradient);
    painter.setPen(QPen(colors.caseEdge, 1.2));
    painter.drawRoundedRect(caseRect, 14, 14);
    // A bevel of light along the top edge of the case.
    painter.setPen(QPen(QColor(255, 255, 255, finish == Finish::White ? 200 : 40), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(caseRect.adjusted(1.5, 1.5, -1.5, -1.5), 13, 13);

    // The plate the caps stand in shows as a thin dark gap around every cap.
    for (const KeyTable::Key &key : m_table.keys()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colors.plate);
        painter.drawRoundedRect(QRectF(m_table.capRect(key)).adjusted(-0.5, -0.5, 0.5, 0.5), 5, 5);
    }

    // Three status lights in the free corner above the numeric pad, Num Lock lit.
    const QRectF corner(keys.right() - 4 * m_table.unit() + 1, keys.top(), 4 * m_table.unit(),
                        m_table.unit());
    for (int i = 0; i < 3; ++i) {
        const QPointF centre(corner.left() + corner.width() * (0.28 + 0.22 * i), corner.center().y());
        QRadialGradient glow(centre, 5);
        const QColor lit = i == 0 ? colors.ledOn : colors.ledOff;
        glow.setColorAt(0, lit.lighter(140));
        glow.setColorAt(1, lit);
        painter.setPen(QPen(colors.caseEdge, 0.8));
        painter.setBrush(glow);
        painter.drawEllipse(centre, 3.2, 3.2);
    }

    for (const KeyTable::Key &key : m_table.keys()) {
        const QRectF cap = QRectF(m_table.capRect(key)).adjusted(0.5, 0.5, -0.5, -0.5);
        // Side walls of the cap, then its slightly dished top, lit from the top edge.
        painter.setPen(QPen(colors.capEdge, 0.8));
        painter.setBrush(colors.capSide);
        painter.drawRoundedRect(cap, 4.5, 4.5);
        const QRectF top = cap.adjusted(1.2, 0.8, -1.2, -2.2);
        QLinearGradient face(top.topLeft(), top.bottomLeft());
        face.setColorAt(0, colors.capTop);
        face.setColorAt(1, colors.capBottom);
        painter.setPen(Qt::NoPen);
        painter.setBrush(face);
        painter.drawRoundedRect(top, 3.5, 3.5);

        if (!key.display)
            continue;
        // The display: black glass in a thin bezel with a faint reflection across its upper half.
        const QRectF cell = m_table.cellRect(key);
        painter.setPen(QPen(colors.shadow, 1));
        painter.setBrush(QColor(0x05, 0x05, 0x06));
        painter.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        QPainterPath glare;
        glare.moveTo(cell.topLeft() + QPointF(2, 2));
        glare.lineTo(cell.topRight() + QPointF(-2, 2));
        glare.lineTo(cell.topLeft() + QPointF(2, cell.height() * 0.55));
        glare.closeSubpath();
        QLinearGradient shine(cell.topLeft(), cell.center());
        shine.setColorAt(0, QColor(255, 255, 255, 34));
        shine.setColorAt(1, QColor(255, 255, 255, 0));
        painter.setBrush(shine);
        painter.setPen(Qt::NoPen);
        painter.drawPath(glare);
    }
    return image;
}

QImage KeyboardArtist::drawMask() const
{
    QImage image(KeyTable::kPictureWidth, KeyTable::kPictureHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor outline(0x8C, 0x8C, 0x8C);
    for (const KeyTable::Key &key : m_table.keys()) {
        painter.setPen(QPen(outline, 1));
        painter.setBrush(QColor(0x1C, 0x1C, 0x1C));
        painter.drawRoundedRect(QRectF(m_table.capRect(key)).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        if (!key.display)
            continue;
        // Black inside, the frame on the cell's outermost ring of pixels only.
        painter.setRenderHint(QPainter::Antialiasing, false);
        const QRect cell = m_table.cellRect(key);
        painter.fillRect(cell, Qt::black);
        painter.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
        painter.setRenderHint(QPainter::Antialiasing);
    }
    return image;
}

QImage KeyboardArtist::miniPreview() const
{
    const QSize size = m_table.miniSize();
    QImage image = transparentCanvas(size.width(), size.height());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x2A, 0x2A, 0x2C), 1));
    painter.setBrush(QColor(0x55, 0x56, 0x5A));
    painter.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 2.5, 2.5);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const KeyTable::Key &key : m_table.keys())
        painter.fillRect(m_table.miniRect(key), QColor(0xD6, 0xD7, 0xDA));
    return image;
}

QImage KeyboardArtist::loadingPlaceholder()
{
    QImage image(KeyTable::kCellSize, KeyTable::kCellSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A still of a spinner: eight dots fading around the circle.
    const QPointF centre(KeyTable::kCellSize / 2.0, KeyTable::kCellSize / 2.0);
    for (int i = 0; i < 8; ++i) {
        const double angle = M_PI / 2 - i * M_PI / 4;
        const QPointF dot = centre + QPointF(std::cos(angle), -std::sin(angle)) * 13;
        painter.setBrush(QColor(255, 255, 255, 230 - i * 26));
        painter.drawEllipse(dot, 3.2, 3.2);
    }
    return image;
}

QImage KeyboardArtist::blackLayerPicture()
{
    QImage image(KeyTable::kPictureWidth, KeyTable::kPictureHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

} // namespace brevona
