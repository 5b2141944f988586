#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QString>

namespace brevona {

// The picture of one layer ("Main.tiff"), read when the layer loads but decoded only when the
// first of its keys is needed: most layers of a store are hidden or covered by others, and a
// decoded layer picture takes two megabytes and most of the loading time. The one decoding cuts
// out the cell of every key that reserved one and lets go of the file's bytes; each key then
// takes its own cell.
class KDLayerPicture
{
public:
    static constexpr int CellSize = 48;

    // The file's bytes, undecoded; nothing when the file cannot be read.
    static std::shared_ptr<KDLayerPicture> read(const QString &path);
    KDLayerPicture(QByteArray encoded, QString name);

    // A key will want the cell whose top-left corner is `location` (measured from the picture's
    // top, as QImage counts).
    void reserve(QPoint location);
    // The reserved cell in the display's 5-6-5 depth; transparent parts and parts outside the
    // picture are black, and so is the whole cell when the picture cannot be decoded (logged
    // once). Decodes on the first call; each reservation is served once.
    QImage takeCell(QPoint location);
    // Once every key has reserved its cell: decodes at once when the file's bytes would take more
    // memory than the cells cut from them (a detailed picture behind a few keys).
    void decodeIfSmaller();

private:
    struct Cell
    {
        QPoint location;
        int reservations = 0;
        QImage pixels;
    };

    void decodeLocked();

    std::mutex m_lock;
    QByteArray m_encoded;
    QString m_name;
    bool m_decoded = false;
    std::vector<Cell> m_cells;
};

} // namespace brevona
