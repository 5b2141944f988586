#include "FirmwareVersion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QFile>

namespace brevona {

double FirmwareVersion::fromBytes(const QByteArray &start)
{
    if (start.isEmpty())
        return Missing;
    const QByteArray prefix = start.left(PrefixLength);
    qsizetype at = prefix.indexOf('V');
    if (at < 0)
        return None;
    ++at;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (at < prefix.size() && blank(prefix[at]))
        ++at;
    // A plain decimal: optional sign, digits, optional point and digits. Whatever follows ends it,
    // and so does the end of the prefix ("V1.05" cut after "1." reads 1.0).
    qsizetype end = at;
    if (end < prefix.size() && (prefix[end] == '+' || prefix[end] == '-'))
        ++end;
    bool digits = false;
    bool point = false;
    for (; end < prefix.size(); ++end) {
        const char c = prefix[end];
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == '.' && !point)
            point = true;
        else
            break;
    }
    if (!digits)
        return None;
    bool ok = false;
    const double value = prefix.mid(at, end - at).toDouble(&ok);
    return ok ? value : None;
}

double FirmwareVersion::read(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking: a FIFO put where a firmware file belongs must not hang the window.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Missing;
    struct stat status = {};
    QByteArray start(PrefixLength, '\0');
    qsizetype got = 0;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        while (got < PrefixLength) {
            const ssize_t n = ::read(fd, start.data() + got, size_t(PrefixLength - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
    }
    ::close(fd);
    start.truncate(got);
    return fromBytes(start);
}

QString FirmwareVersion::text(double version)
{
    if (version > 0)
        return QString::asprintf("%.2f", version);
    return QStringLiteral("-.--");
}

} // namespace brevona
