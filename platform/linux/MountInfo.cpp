#include "MountInfo.h"

#include <cerrno>

#include <unistd.h>

#include <QFile>

namespace brevona {

namespace {

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

std::optional<unsigned> parseNumber(QByteArrayView text)
{
    bool ok = false;
    const unsigned value = text.toByteArray().toUInt(&ok);
    return ok ? std::optional<unsigned>(value) : std::nullopt;
}

std::optional<MountInfo::Entry> parseLine(QByteArrayView line)
{
    std::vector<QByteArrayView> fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            if (i > start)
                fields.push_back(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    // Six fixed fields, any number of optional ones, the separator, then type, source and options.
    qsizetype separator = -1;
    for (qsizetype i = 6; i < qsizetype(fields.size()); ++i) {
        if (fields[i] == "-") {
            separator = i;
            break;
        }
    }
    if (separator < 0 || separator + 2 >= qsizetype(fields.size()))
        return std::nullopt;

    const auto mountId = parseNumber(fields[0]);
    const auto parentId = parseNumber(fields[1]);
    const qsizetype colon = fields[2].indexOf(':');
    if (!mountId || !parentId || colon <= 0)
        return std::nullopt;
    const auto major = parseNumber(fields[2].first(colon));
    const auto minor = parseNumber(fields[2].sliced(colon + 1));
    if (!major || !minor)
        return std::nullopt;

    MountInfo::Entry entry;
    entry.mountId = int(*mountId);
    entry.parentId = int(*parentId);
    entry.major = *major;
    entry.minor = *minor;
    entry.root = MountInfo::unescape(fields[3]);
    entry.mountPoint = MountInfo::unescape(fields[4]);
    entry.fsType = MountInfo::unescape(fields[separator + 1]);
    entry.source = MountInfo::unescape(fields[separator + 2]);
    return entry;
}

} // namespace

QString MountInfo::unescape(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            bytes.append(
                char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            bytes.append(field[i]);
        }
    }
    // Mount points are file names: they decode as every file name of the system does.
    return QFile::decodeName(bytes);
}

std::vector<MountInfo::Entry> MountInfo::parse(QByteArrayView text)
{
    std::vector<Entry> entries;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        if (auto entry = parseLine(text.sliced(start, end - start)))
            entries.push_back(std::move(*entry));
        start = end + 1;
    }
    return entries;
}

std::optional<QByteArray> MountInfo::readAll(int fd)
{
    QByteArray content;
    char buffer[16384];
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return std::nullopt;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
    }
    return content;
}

} // namespace brevona
