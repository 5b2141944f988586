#include "LayerPicture.h"

#include <QImageReader>
#include <QPainter>
#include <QRect>

#include "KeyboardData.h"
#include "ModelLogging.h"
#include "ResourceFiles.h"

namespace brevona {

const QImage &LayerPicture::blackKey()
{
    static const QImage black = [] {
        QImage picture(KeySize, KeySize, PixelFormat);
        picture.fill(Qt::black);
        return picture;
    }();
    return black;
}

QImage LayerPicture::blackLayer()
{
    QImage picture(Width, Height, PixelFormat);
    picture.fill(Qt::black);
    return picture;
}

const QImage &LayerPicture::placeholder()
{
    static const QImage picture = [] {
        const QString path = KeyboardData::shared().filePath(resourcefiles::LoadingPicture);
        QImage loaded(path);
        if (loaded.isNull()) {
            qCWarning(lcModel, "Placeholder picture %s is missing; keys being loaded show nothing",
                      qUtf8Printable(path));
            loaded = QImage(KeySize, KeySize, PixelFormat);
            loaded.fill(Qt::transparent);
            return loaded;
        }
        return loaded.scaled(KeySize, KeySize).convertToFormat(PixelFormat);
    }();
    return picture;
}

std::optional<QPoint> LayerPicture::location(const QString &keyName)
{
    const KeyboardData::Key *key = KeyboardData::shared().key(keyName);
    if (!key || !key->display)
        return std::nullopt;
    return key->location;
}

QImage LayerPicture::opaque(const QImage &picture)
{
    if (!picture.hasAlphaChannel())
        return picture.convertToFormat(PixelFormat);
    QImage result(picture.size(), PixelFormat);
    result.fill(Qt::black);
    QPainter painter(&result);
    painter.drawImage(0, 0, picture);
    painter.end();
    return result;
}

QImage LayerPicture::keyPicture(const QImage &picture)
{
    if (picture.size() == QSize(KeySize, KeySize))
        return opaque(picture);
    return opaque(picture.scaled(KeySize, KeySize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

std::optional<QImage> LayerPicture::readStored(const QString &path)
{
    QImageReader reader(path);
    QImage picture = reader.read();
    if (picture.isNull()) {
        qCWarning(lcModel, "Stored layer picture %s is not readable (%s); its keys stay black",
                  qUtf8Printable(path), qUtf8Printable(reader.errorString()));
        return std::nullopt;
    }
    if (picture.size() != QSize(Width, Height)) {
        qCWarning(lcModel,
                  "Stored layer picture %s is %d x %d, not %d x %d; keys are cut from its top-left corner",
                  qUtf8Printable(path), picture.width(), picture.height(), Width, Height);
    }
    return opaque(picture);
}

QImage LayerPicture::cut(const QImage &layer, QPoint location)
{
    const QRect cell(location, QSize(KeySize, KeySize));
    if (layer.rect().contains(cell))
        return layer.copy(cell);
    QImage key = blackKey().copy();
    QPainter painter(&key);
    painter.drawImage(QPoint(0, 0), layer, cell);
    return key;
}

} // namespace brevona
