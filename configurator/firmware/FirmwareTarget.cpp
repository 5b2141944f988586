#include "FirmwareTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFile>

#include "FirmwareLogging.h"

namespace brevona {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

FirmwareTarget::Identity identityOf(const struct stat &status)
{
    return {status.st_dev, status.st_ino, qint64(status.st_size),
            qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

std::optional<QString> failed(const QString &why)
{
    qCWarning(lcFirmware).noquote() << why;
    return why;
}

} // namespace

FirmwareTarget::Io FirmwareTarget::systemIo()
{
    return {[](int fd, const char *bytes, size_t count, off_t offset) {
                return ::pwrite(fd, bytes, count, offset);
            },
            [](int fd) { return ::fsync(fd); }};
}

Result<FirmwareTarget::Identity> FirmwareTarget::inspect(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return Result<Identity>::failure(
            QStringLiteral("The keyboard has no firmware file %1: %2").arg(path, systemError(errno)));
    if (!S_ISREG(status.st_mode))
        return Result<Identity>::failure(
            QStringLiteral("The keyboard's firmware file %1 is not a regular file").arg(path));
    // A volume mounted read-only, or a file the user may not write, is found before the driver is
    // told anything.
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return Result<Identity>::failure(
            QStringLiteral("The keyboard's firmware file %1 cannot be written: %2")
                .arg(path, systemError(errno)));
    return identityOf(status);
}

std::optional<QString> FirmwareTarget::writeInPlace(const QString &path, const Identity &expected,
                                                    const QByteArray &bytes, const Io &io)
{
    // Neither O_CREAT nor O_TRUNC: the keyboard's own file is overwritten, or nothing is.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return failed(
            QStringLiteral("The firmware could not be written: %1: %2").arg(path, systemError(errno)));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || identityOf(status) != expected ||
        qint64(bytes.size()) != expected.size) {
        ::close(fd);
        return failed(QStringLiteral("The firmware was not written: %1 is no longer the file that was "
                                     "checked (was the keyboard unplugged?)")
                          .arg(path));
    }
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            io.pwrite(fd, bytes.constData() + written, size_t(bytes.size() - written), off_t(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return failed(QStringLiteral("The firmware was written only in part (%1 of %2 bytes): %3")
                              .arg(written)
                              .arg(bytes.size())
                              .arg(systemError(error)));
        }
        written += n;
    }
    if (io.fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(
            QStringLiteral("The firmware could not be flushed to the keyboard: %1").arg(systemError(error)));
    }
    if (::close(fd) != 0)
        return failed(
            QStringLiteral("The firmware could not be flushed to the keyboard: %1").arg(systemError(errno)));
    return std::nullopt;
}

} // namespace brevona
