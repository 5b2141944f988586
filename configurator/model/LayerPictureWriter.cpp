#include "LayerPictureWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QThreadPool>

#include "ModelLogging.h"

namespace brevona {

namespace {
// Qt's TIFF writer: 1 selects LZW.
constexpr int kLzwCompression = 1;
} // namespace

LayerPictureWriter::LayerPictureWriter(FileWriter writeFile)
    : m_writeFile(std::move(writeFile))
    , m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(2);
}

LayerPictureWriter::~LayerPictureWriter()
{
    m_pool->waitForDone();
}

void LayerPictureWriter::write(const QString &path, const QImage &picture)
{
    {
        std::lock_guard guard(m_lock);
        const auto running = m_running.find(path);
        if (running != m_running.end()) {
            running->second.next = picture;
            return;
        }
        m_running.emplace(path, Slot{});
    }
    m_pool->start([this, path, picture] { drain(path, picture); });
}

void LayerPictureWriter::drain(const QString &path, QImage picture)
{
    // One task per file: it writes what it was given, then whatever arrived for the same file in
    // the meantime, until nothing is waiting.
    for (;;) {
        m_writeFile(path, picture);
        std::lock_guard guard(m_lock);
        Slot &slot = m_running.at(path);
        if (!slot.next) {
            m_running.erase(path);
            return;
        }
        picture = std::move(*slot.next);
        slot.next.reset();
    }
}

bool LayerPictureWriter::waitForDone(int msecs)
{
    return m_pool->waitForDone(msecs);
}

bool LayerPictureWriter::writeTiff(const QString &path, const QImage &picture)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qCWarning(lcModel, "Layer picture %s: its folder cannot be created", qUtf8Printable(path));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcModel, "Layer picture %s cannot be written: %s", qUtf8Printable(path),
                  qUtf8Printable(file.errorString()));
        return false;
    }
    QImageWriter writer(&file, "tiff");
    writer.setCompression(kLzwCompression);
    const bool encoded = writer.write(picture);
    if (!encoded || !file.commit()) {
        qCWarning(lcModel, "Layer picture %s cannot be written: %s", qUtf8Printable(path),
                  qUtf8Printable(encoded ? file.errorString() : writer.errorString()));
        return false;
    }
    return true;
}

} // namespace brevona
