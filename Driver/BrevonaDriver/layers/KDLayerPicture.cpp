#include "KDLayerPicture.h"

#include <algorithm>

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "LayerLogging.h"

namespace brevona {

std::shared_ptr<KDLayerPicture> KDLayerPicture::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return std::make_shared<KDLayerPicture>(file.readAll(), path);
}

KDLayerPicture::KDLayerPicture(QByteArray encoded, QString name)
    : m_encoded(std::move(encoded))
    , m_name(std::move(name))
{}

void KDLayerPicture::reserve(QPoint location)
{
    std::lock_guard guard(m_lock);
    const auto found = std::find_if(m_cells.begin(), m_cells.end(),
                                    [&](const Cell &cell) { return cell.location == location; });
    if (found != m_cells.end())
        ++found->reservations;
    else
        m_cells.push_back(Cell{location, 1, QImage()});
}

QImage KDLayerPicture::takeCell(QPoint location)
{
    std::lock_guard guard(m_lock);
    if (!m_decoded)
        decodeLocked();
    const auto found = std::find_if(m_cells.begin(), m_cells.end(),
                                    [&](const Cell &cell) { return cell.location == location; });
    if (found == m_cells.end())
        return QImage();
    QImage pixels = found->pixels;
    if (--found->reservations <= 0)
        m_cells.erase(found);
    return pixels;
}

void KDLayerPicture::decodeIfSmaller()
{
    std::lock_guard guard(m_lock);
    constexpr qsizetype cellBytes = CellSize * CellSize * 2;
    if (!m_decoded && m_encoded.size() > qsizetype(m_cells.size()) * cellBytes)
        decodeLocked();
}

void KDLayerPicture::decodeLocked()
{
    m_decoded = true;
    QBuffer buffer(&m_encoded);
    QImageReader reader(&buffer);
    QImage picture = reader.read();
    m_encoded = QByteArray();
    if (picture.isNull()) {
        qCWarning(lcLayers).noquote()
            << "Layer picture" << m_name << "could not be read:" << reader.errorString()
            << "- its keys show black";
        return;
    }
    // A key shows the picture over black. Premultiplied colours are exactly that, so they are made
    // opaque as they are (a conversion would divide them back). Outside the picture a copy of a
    // 32-bit picture is 0, black.
    if (picture.hasAlphaChannel()) {
        picture.convertTo(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < picture.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                line[x] |= 0xFF000000u;
        }
    } else {
        picture.convertTo(QImage::Format_RGB32);
    }
    for (Cell &cell : m_cells) {
        // Kept in the display's own 5-6-5 depth until the key is first shown or drawn: widening
        // 5-6-5 back to 8 bits per channel encodes to the very same display bytes.
        cell.pixels = picture.copy(QRect(cell.location, QSize(CellSize, CellSize)))
                          .convertToFormat(QImage::Format_RGB16);
    }
}

} // namespace brevona
