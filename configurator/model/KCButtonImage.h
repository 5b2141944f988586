#pragma once

#include <mutex>

#include <QImage>

#include "KCPluginImage.h"

namespace brevona {

// The picture a display plugin draws into: 48 x 48 premultiplied ARGB under its own lock, since a
// plugin may draw from its own thread while the main thread shows the picture. The object stays
// the same for the key's whole life, so a plugin may keep the pointer getImage() gave it.
class KCButtonImage final : public KCPluginImage
{
public:
    explicit KCButtonImage(const QImage &image = QImage());

    void paint(const std::function<void(QPainter &)> &draw) override;
    void setImage(const QImage &image) override;
    QImage image() const override;

private:
    static QImage normalized(const QImage &image);

    mutable std::mutex m_lock;
    QImage m_image;
};

} // namespace brevona
