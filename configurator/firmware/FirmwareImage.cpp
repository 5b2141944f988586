#include "FirmwareImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFile>
#include <QFileInfo>

#include "FirmwareLogging.h"
#include "FirmwareVersion.h"

namespace brevona {

namespace {

Result<FirmwareImage> refused(const QString &why)
{
    qCWarning(lcFirmware).noquote() << why;
    return Result<FirmwareImage>::failure(why);
}

QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link (choose the file it points to)");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
}

} // namespace

Result<FirmwareImage> FirmwareImage::load(const QString &path, std::optional<qint64> expectedSize)
{
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    const QByteArray encoded = QFile::encodeName(path);
    struct stat link = {};
    if (path.isEmpty() || ::lstat(encoded.constData(), &link) != 0)
        return refused(QStringLiteral("The firmware file %1 cannot be found").arg(path));
    if (!S_ISREG(link.st_mode))
        return refused(QStringLiteral("The firmware file %1 is %2").arg(name, kindOf(link.st_mode)));

    // Opened without following a link and without waiting, then checked again on the descriptor: a
    // file swapped for a link or a FIFO after the look above is refused all the same.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refused(QStringLiteral("The firmware file %1 cannot be opened: %2")
                           .arg(name, QString::fromLocal8Bit(strerror(errno))));
    struct stat status = {};
    const bool same = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_dev == link.st_dev &&
                      status.st_ino == link.st_ino;
    if (!same) {
        ::close(fd);
        return refused(QStringLiteral("The firmware file %1 changed while it was being read").arg(name));
    }
    const qint64 size = status.st_size;
    if (size == 0) {
        ::close(fd);
        return refused(QStringLiteral("The firmware file %1 is empty").arg(name));
    }
    if (size > MaxSize || (expectedSize && size != *expectedSize)) {
        ::close(fd);
        const qint64 wanted = expectedSize.value_or(MaxSize);
        return refused(
            QStringLiteral("The firmware file %1 is %2 bytes; the keyboard's firmware image is %3%4 bytes")
                .arg(name)
                .arg(size)
                .arg(expectedSize ? QString() : QStringLiteral("at most "))
                .arg(wanted));
    }

    FirmwareImage image;
    image.m_path = path;
    image.m_bytes.resize(size);
    qint64 got = 0;
    // One byte more than the size tells a file that grew from a complete one.
    char extra = 0;
    int error = 0;
    while (got <= size) {
        char *into = got < size ? image.m_bytes.data() + got : &extra;
        const size_t want = got < size ? size_t(size - got) : 1;
        const ssize_t n = ::read(fd, into, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (error != 0)
        return refused(QStringLiteral("The firmware file %1 cannot be read: %2")
                           .arg(name, QString::fromLocal8Bit(strerror(error))));
    if (got != size)
        return refused(QStringLiteral("The firmware file %1 changed while it was being read").arg(name));

    image.m_version = FirmwareVersion::fromBytes(image.m_bytes);
    if (image.m_version < 0)
        return refused(QStringLiteral("The firmware file %1 carries no version (a \"V\" and a number in its "
                                      "first %2 bytes)")
                           .arg(name)
                           .arg(FirmwareVersion::PrefixLength));
    return image;
}

} // namespace brevona
