#include "StoreWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryFile>

#include "Logging.h"
#include "PropertyList.h"

namespace brevona {

namespace {

constexpr int kLzwCompression = 1;

} // namespace

StoreWriter::StoreWriter(QString root)
    : m_root(QDir::cleanPath(QFileInfo(root).absoluteFilePath()))
{}

QString StoreWriter::absolutePath(const QString &relative) const
{
    if (relative.isEmpty())
        return m_root;
    if (QDir::isAbsolutePath(relative) || relative.contains(QChar(0)))
        return {};
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String("..") || part == QLatin1String("."))
            return {};
    }
    return m_root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

bool StoreWriter::isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

bool StoreWriter::refusedByFault(const QString &path) const
{
    if (m_fault && m_fault(path)) {
        qCWarning(lcShared, "Cannot write %s: no space left on device", qUtf8Printable(path));
        return true;
    }
    return false;
}

bool StoreWriter::makeFolder(const QString &folder) const
{
    const QString path = absolutePath(folder);
    if (path.isEmpty()) {
        qCWarning(lcShared, "Store path %s leaves the store; refused", qUtf8Printable(folder));
        return false;
    }
    if (QFileInfo(path).isDir())
        return true;
    if (!QDir().mkpath(path)) {
        qCWarning(lcShared, "Cannot create folder %s", qUtf8Printable(path));
        return false;
    }
    return true;
}

bool StoreWriter::writeBytes(const QString &file, const QByteArray &bytes) const
{
    const QString path = absolutePath(file);
    if (path.isEmpty() || file.isEmpty()) {
        qCWarning(lcShared, "Store path %s leaves the store; refused", qUtf8Printable(file));
        return false;
    }
    if (!makeFolder(QFileInfo(file).path() == QLatin1String(".") ? QString() : QFileInfo(file).path()))
        return false;
    if (refusedByFault(path))
        return false;
    // Atomic, not durable: a temporary sibling renamed over the file, so a reader (the driver)
    // finds the old bytes or the new ones, never a part. No sync to disk: each edit writes a few
    // small files and the user waits for them; the file systems users keep their home on write a
    // file replaced by rename before the rename itself (ext4 auto_da_alloc, btrfs, xfs).
    const QFileInfo target(path);
    QTemporaryFile out(target.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    const QFile::Permissions permissions =
        target.exists() ? target.permissions()
                        : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (!out.open() || out.write(bytes) != bytes.size() || !out.flush() || !out.setPermissions(permissions) ||
        ::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        const QString why = out.error() != QFileDevice::NoError
                                ? out.errorString()
                                : QString::fromLocal8Bit(std::strerror(errno));
        qCWarning(lcShared, "Cannot write %s: %s", qUtf8Printable(path), qUtf8Printable(why));
        return false;
    }
    out.setAutoRemove(false);
    return true;
}

bool StoreWriter::writePlist(const QString &file, const QVariantMap &info) const
{
    const std::optional<QByteArray> bytes = PropertyList::toData(info);
    if (!bytes) {
        qCWarning(lcShared, "Cannot write %s: the values have no property-list form", qUtf8Printable(file));
        return false;
    }
    return writeBytes(file, *bytes);
}

bool StoreWriter::writeGroup(const QString &folder, const QVariantMap &info) const
{
    return writePlist(folder.isEmpty() ? GroupFile : folder + QLatin1Char('/') + GroupFile, info);
}

bool StoreWriter::writeLayer(const QString &folder, const QVariantMap &info) const
{
    return writePlist(folder.isEmpty() ? LayerFile : folder + QLatin1Char('/') + LayerFile, info);
}

bool StoreWriter::writePicture(const QString &folder, const QImage &picture) const
{
    const QByteArray bytes = tiffData(picture);
    if (bytes.isEmpty()) {
        qCWarning(lcShared, "Cannot encode the picture of %s", qUtf8Printable(folder));
        return false;
    }
    return writeBytes(folder.isEmpty() ? PictureFile : folder + QLatin1Char('/') + PictureFile, bytes);
}

QByteArray StoreWriter::tiffData(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(kLzwCompression);
    if (!writer.write(picture))
        return {};
    return bytes;
}

} // namespace brevona
