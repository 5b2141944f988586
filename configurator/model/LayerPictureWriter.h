#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <QImage>
#include <QString>

class QThreadPool;

namespace brevona {

// Writes layer pictures ("Main.tiff") on worker threads. Writes of one file run one after another
// in the order they were asked for, and a picture still waiting for its turn is replaced by a newer
// one for the same file: an older picture never lands after a newer one. Different files are
// written side by side.
class LayerPictureWriter
{
public:
    using FileWriter = std::function<bool(const QString &path, const QImage &picture)>;

    explicit LayerPictureWriter(FileWriter writeFile = &LayerPictureWriter::writeTiff);
    // Waits until every queued picture is written.
    ~LayerPictureWriter();
    LayerPictureWriter(const LayerPictureWriter &) = delete;
    LayerPictureWriter &operator=(const LayerPictureWriter &) = delete;

    void write(const QString &path, const QImage &picture);
    // False when writes are still running after `msecs` (negative: no limit).
    bool waitForDone(int msecs = -1);

    // A TIFF with LZW compression, written atomically; the folder is created when missing.
    // False, with one log line, when it cannot be written.
    static bool writeTiff(const QString &path, const QImage &picture);

private:
    struct Slot
    {
        std::optional<QImage> next; // waiting for the running write of the same file
    };

    void drain(const QString &path, QImage picture);

    FileWriter m_writeFile;
    std::unique_ptr<QThreadPool> m_pool;
    std::mutex m_lock;
    std::map<QString, Slot> m_running; // files being written
};

} // namespace brevona
