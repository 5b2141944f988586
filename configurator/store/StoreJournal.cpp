#include "StoreJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "StoreLogging.h"
#include "StoreWriter.h"

namespace brevona {

namespace {

// Puts bytes back without the writer's fault injection: restoring is not the write under test.
void restoreBytes(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        qCWarning(lcStore, "Cannot restore %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
}

// The top-most folder of `folder` that does not exist yet (empty when it exists).
QString firstMissingFolder(const QString &folder)
{
    QString missing;
    for (QFileInfo info(folder); !info.exists(); info = QFileInfo(info.absolutePath())) {
        missing = info.absoluteFilePath();
        if (info.absoluteFilePath() == info.absolutePath())
            break;
    }
    return missing;
}

} // namespace

StoreJournal::StoreJournal(const StoreWriter &writer)
    : m_writer(writer)
{}

StoreJournal::~StoreJournal()
{
    rollback();
}

bool StoreJournal::remember(const QString &file, const std::function<bool()> &write)
{
    const QString path = m_writer.absolutePath(file);
    if (path.isEmpty())
        return write(); // refused and logged by the writer
    const QString newFolder = firstMissingFolder(QFileInfo(path).absolutePath());
    QFile old(path);
    const bool existed = old.exists();
    QByteArray bytes;
    if (existed && old.open(QIODevice::ReadOnly))
        bytes = old.readAll();
    if (!write()) {
        if (!newFolder.isEmpty())
            QDir(newFolder).removeRecursively();
        return false;
    }
    m_reverts.push_back([path, existed, bytes, newFolder] {
        if (!newFolder.isEmpty())
            QDir(newFolder).removeRecursively();
        else if (existed)
            restoreBytes(path, bytes);
        else
            QFile::remove(path);
    });
    return true;
}

bool StoreJournal::writeGroup(const QString &folder, const QVariantMap &info)
{
    return remember(folder.isEmpty() ? StoreWriter::GroupFile
                                     : folder + QLatin1Char('/') + StoreWriter::GroupFile,
                    [&] { return m_writer.writeGroup(folder, info); });
}

bool StoreJournal::writeLayer(const QString &folder, const QVariantMap &info)
{
    return remember(folder + QLatin1Char('/') + StoreWriter::LayerFile,
                    [&] { return m_writer.writeLayer(folder, info); });
}

bool StoreJournal::writePicture(const QString &folder, const QImage &picture)
{
    return remember(folder + QLatin1Char('/') + StoreWriter::PictureFile,
                    [&] { return m_writer.writePicture(folder, picture); });
}

bool StoreJournal::moveFolder(const QString &from, const QString &to)
{
    if (QFileInfo::exists(to)) {
        qCWarning(lcStore, "Cannot move %s: %s exists", qUtf8Printable(from), qUtf8Printable(to));
        return false;
    }
    if (!QDir().rename(from, to)) {
        qCWarning(lcStore, "Cannot move %s to %s", qUtf8Printable(from), qUtf8Printable(to));
        return false;
    }
    m_reverts.push_back([from, to] {
        if (!QDir().rename(to, from))
            qCWarning(lcStore, "Cannot move %s back to %s", qUtf8Printable(to), qUtf8Printable(from));
    });
    return true;
}

void StoreJournal::commit()
{
    m_reverts.clear();
}

void StoreJournal::rollback()
{
    while (!m_reverts.empty()) {
        const auto revert = std::move(m_reverts.back());
        m_reverts.pop_back();
        revert();
    }
}

} // namespace brevona
