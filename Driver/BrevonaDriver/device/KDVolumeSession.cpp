#include "KDVolumeSession.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QFile>

#include "DeviceLogging.h"
#include "VolumeLayout.h"

namespace brevona {

namespace {

QString systemError(const QString &what, int error)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

// Filesystems without a flush for the file (pipes, some virtual files) are fine as they are.
bool flushFailed(int fd)
{
    if (::fdatasync(fd) == 0)
        return false;
    return errno != EINVAL && errno != EROFS;
}

// Writes everything, at offset 0 when `inPlace`, else at the descriptor's position.
std::optional<QString> writeAll(int fd, const QByteArray &bytes, const QString &name, bool inPlace)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const char *data = bytes.constData() + written;
        const size_t size = size_t(bytes.size() - written);
        const ssize_t n = inPlace ? ::pwrite(fd, data, size, off_t(written)) : ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd descriptor = {fd, POLLOUT, 0};
                if (::poll(&descriptor, 1, -1) < 0 && errno != EINTR)
                    return systemError(name, errno);
                continue;
            }
            return systemError(name, errno);
        }
        written += n;
    }
    return std::nullopt;
}

} // namespace

KDVolumeSession::KDVolumeSession(QString mountPoint)
    : m_mountPoint(std::move(mountPoint))
{
    m_files.fill(-1);
}

KDVolumeSession::~KDVolumeSession()
{
    closeAll();
}

QString KDVolumeSession::filePath(const QString &relativePath) const
{
    return filePath(m_mountPoint, relativePath);
}

QString KDVolumeSession::filePath(const QString &mountPoint, const QString &relativePath)
{
    // Names on the volume are relative to its mount point, with or without a leading slash.
    QString relative = relativePath;
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return mountPoint + QLatin1Char('/') + relative;
}

std::optional<QString> KDVolumeSession::openDynamicSysFiles()
{
    closeAll();
    for (int display = 1; display <= DisplayCount; ++display) {
        const QString path = filePath(volumelayout::displayFile(display));
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            const QString error = systemError(path, errno);
            closeAll();
            return error;
        }
        m_files[display - 1] = fd;
    }
    return std::nullopt;
}

void KDVolumeSession::closeAll()
{
    for (int &fd : m_files) {
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
            qCWarning(lcDevice).noquote()
                << "closeAllDynamicSysFiles error:" << systemError(m_mountPoint, errno);
        fd = -1;
    }
}

std::optional<QString> KDVolumeSession::writeDisplay(int display, const QByteArray &bytes) const
{
    if (display < 1 || display > DisplayCount)
        return QStringLiteral("no display %1").arg(display);
    const int fd = m_files[display - 1];
    const QString name = volumelayout::displayFile(display);
    if (fd < 0)
        return name + QStringLiteral(" is not open");

    pollfd descriptor = {fd, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&descriptor, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0 || !(descriptor.revents & POLLOUT))
        return QStringLiteral("select() write-blocking exception: can't write to a sys-file (%1)").arg(name);

    if (auto error = writeAll(fd, bytes, name, true))
        return error;
    if (flushFailed(fd))
        return systemError(name, errno);
    return std::nullopt;
}

std::optional<QString> KDVolumeSession::writeFile(const QString &relativePath, const QByteArray &bytes) const
{
    return writeFile(m_mountPoint, relativePath, bytes);
}

std::optional<QString> KDVolumeSession::writeFile(const QString &mountPoint, const QString &relativePath,
                                                  const QByteArray &bytes)
{
    const QString path = filePath(mountPoint, relativePath);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return systemError(path, errno);
    std::optional<QString> error = writeAll(fd, bytes, path, false);
    if (!error && flushFailed(fd))
        error = systemError(path, errno);
    if (::close(fd) != 0 && !error && errno != EINTR)
        error = systemError(path, errno);
    return error;
}

} // namespace brevona
