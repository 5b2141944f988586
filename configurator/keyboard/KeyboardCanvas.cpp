#include "KeyboardCanvas.h"

#include <algorithm>

#include <QLinearGradient>
#include <QPainter>

#include "KeyboardGeometry.h"

namespace brevona {

namespace {

// The frame round a key with a picture, and the margin cleared before a key is drawn again.
constexpr int kFrame = 2;
constexpr int kStandardSide = 48;
constexpr int kMaxResolution = 4;

QColor white(double level, double alpha = 1.0)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

} // namespace

KeyboardCanvas::KeyboardCanvas(const KeyboardGeometry &geometry)
    : m_geometry(geometry)
    , m_pictures(static_cast<size_t>(geometry.count()))
{
    redraw();
}

void KeyboardCanvas::setResolution(int resolution)
{
    resolution = std::clamp(resolution, 1, kMaxResolution);
    if (resolution == m_resolution && !m_image.isNull())
        return;
    m_resolution = resolution;
    m_placeholders.clear();
    redraw();
}

bool KeyboardCanvas::hasPicture(int key) const
{
    return key >= 0 && key < static_cast<int>(m_pictures.size()) &&
           !m_pictures[static_cast<size_t>(key)].isNull();
}

QImage KeyboardCanvas::picture(int key) const
{
    return hasPicture(key) ? m_pictures[static_cast<size_t>(key)] : QImage();
}

void KeyboardCanvas::setPicture(int key, const QImage &picture)
{
    if (key < 0 || key >= static_cast<int>(m_pictures.size()))
        return;
    m_pictures[static_cast<size_t>(key)] = picture;
    QPainter painter(&m_image);
    drawKey(painter, key);
}

void KeyboardCanvas::clearPictures()
{
    std::fill(m_pictures.begin(), m_pictures.end(), QImage());
    redraw();
}

void KeyboardCanvas::setPictures(std::vector<QImage> pictures)
{
    pictures.resize(m_pictures.size());
    m_pictures = std::move(pictures);
    redraw();
}

void KeyboardCanvas::redraw()
{
    const QSize size =
        (m_geometry.imageSize().isEmpty() ? QSize(1, 1) : m_geometry.imageSize()) * m_resolution;
    if (m_image.size() != size) {
        m_image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(m_resolution);
    }
    m_image.fill(Qt::transparent);
    QPainter painter(&m_image);
    for (int key = 0; key < m_geometry.count(); ++key)
        drawKey(painter, key);
}

QRect KeyboardCanvas::drawnArea(int key) const
{
    return m_geometry.key(key).outside.adjusted(-kFrame, -kFrame, kFrame, kFrame);
}

void KeyboardCanvas::drawKey(QPainter &painter, int key)
{
    const KeyboardGeometry::Key &geometry = m_geometry.key(key);
    const QRect area = drawnArea(key);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillRect(area, Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QImage &picture = m_pictures[static_cast<size_t>(key)];
    if (picture.isNull()) {
        painter.drawImage(QRectF(geometry.outside.adjusted(1, 1, -1, -1)), placeholderFor(key));
        return;
    }
    if (geometry.outside != geometry.inside)
        painter.fillRect(geometry.outside, Qt::black);
    // Key pictures are pixel art of the key's display: enlarged, each pixel stays a sharp square.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(geometry.inside), picture);
    // The frame fills the ring between the outside rectangle and the cleared area.
    const QColor frame = white(0.4);
    const QRect &cap = geometry.outside;
    painter.fillRect(QRect(area.left(), area.top(), area.width(), kFrame), frame);
    painter.fillRect(QRect(area.left(), cap.bottom() + 1, area.width(), kFrame), frame);
    painter.fillRect(QRect(area.left(), cap.top(), kFrame, cap.height()), frame);
    painter.fillRect(QRect(cap.right() + 1, cap.top(), kFrame, cap.height()), frame);
}

const QImage &KeyboardCanvas::placeholderFor(int key)
{
    const KeyboardGeometry::Key &geometry = m_geometry.key(key);
    const QString label = placeholderLabel(geometry.name);
    // A labelled key and a key of standard shape share the standard placeholder's size.
    const QSize size = !label.isEmpty() || geometry.outside == geometry.inside
                           ? QSize(kStandardSide, kStandardSide)
                           : geometry.outside.size();
    const auto id = std::make_pair(std::make_pair(size.width(), size.height()), label);
    auto it = m_placeholders.find(id);
    if (it == m_placeholders.end())
        it = m_placeholders.emplace(id, placeholder(size, label, m_resolution)).first;
    return it->second;
}

QString KeyboardCanvas::placeholderLabel(const QString &keyName)
{
    return keyName.size() == 1 || keyName.startsWith(QLatin1Char('F')) ? keyName : QString();
}

QImage KeyboardCanvas::placeholder(QSize size, const QString &label, int resolution)
{
    QImage image(size * resolution, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(resolution);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // A rounded square at 60 % of the key, 2 pixels in from that square's edge.
    const QSizeF inner(0.6 * size.width(), 0.6 * size.height());
    const QRectF square(QPointF((size.width() - inner.width()) / 2, (size.height() - inner.height()) / 2),
                        inner);
    const QRectF body = square.adjusted(2, 2, -2, -2);
    const double radius = 0.15 * std::min(body.width(), body.height());
    QLinearGradient gradient(body.topLeft(), body.topRight());
    gradient.setColorAt(0, white(0.19));
    gradient.setColorAt(1, white(0.1));
    painter.setBrush(gradient);
    painter.setPen(QPen(white(0.2), 2));
    painter.drawRoundedRect(body, radius, radius);
    if (!label.isEmpty()) {
        QFont font;
        font.setBold(true);
        font.setPixelSize(label.size() == 1 ? 16 : std::max(6, 12 + 2 * (3 - int(label.size()))));
        font.setLetterSpacing(QFont::AbsoluteSpacing, -1);
        painter.setFont(font);
        painter.setPen(white(0.5));
        const QRectF textArea = QRectF(QPointF(), QSizeF(size)).translated(label.size() == 1 ? -0.5 : 0, 0);
        painter.drawText(textArea, Qt::AlignCenter, label);
    }
    return image;
}

} // namespace brevona
