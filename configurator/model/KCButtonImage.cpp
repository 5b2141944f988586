#include "KCButtonImage.h"

#include <QPainter>

namespace brevona {

KCButtonImage::KCButtonImage(const QImage &image)
    : m_image(normalized(image))
{}

QImage KCButtonImage::normalized(const QImage &image)
{
    if (image.isNull()) {
        QImage black(Size, Size, QImage::Format_ARGB32_Premultiplied);
        black.fill(Qt::black);
        return black;
    }
    QImage result = image.size() == QSize(Size, Size)
                        ? image
                        : image.scaled(Size, Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return result.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void KCButtonImage::paint(const std::function<void(QPainter &)> &draw)
{
    std::lock_guard guard(m_lock);
    QPainter painter(&m_image);
    draw(painter);
}

void KCButtonImage::setImage(const QImage &image)
{
    QImage replacement = normalized(image);
    std::lock_guard guard(m_lock);
    m_image = std::move(replacement);
}

QImage KCButtonImage::image() const
{
    std::lock_guard guard(m_lock);
    // Implicit sharing is thread-safe: the next drawing detaches from the copy handed out here.
    return m_image;
}

} // namespace brevona
