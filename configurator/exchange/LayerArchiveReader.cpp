#include "LayerArchiveReader.h"

#include <sys/stat.h>

#include <QFile>
#include <QTemporaryFile>

#include <zip.h>

#include "ExchangeLogging.h"
#include "LayerArchiveWriter.h"
#include "Paths.h"

namespace brevona {

namespace {

using Opened = Result<std::unique_ptr<LayerArchiveReader>>;

constexpr qint64 CopyChunk = 1024 * 1024;
constexpr qint64 ReadChunk = 64 * 1024;

QString zipError(zip_error_t &error)
{
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

// A name that a careless unpacker would place outside its folder.
bool leavesFolder(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QChar(0)))
        return true;
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter())
        return true;
    for (const QStringView part : QStringView(name).split(QLatin1Char('/'))) {
        if (part == QLatin1String(".."))
            return true;
    }
    return false;
}

} // namespace

LayerArchiveReader::~LayerArchiveReader()
{
    if (m_zip)
        zip_discard(m_zip);
}

Opened LayerArchiveReader::open(const QString &path, const Limits &limits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Opened::failure(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    if (file.size() > limits.archiveBytes)
        return Opened::failure(
            QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(limits.archiveBytes));
    const auto folder = Paths::privateWorkingFolder(QStringLiteral("layers-import"));
    if (!folder)
        return Opened::failure(QStringLiteral("no private working folder for the import can be made"));

    // The private copy, with the signature restored in the copy, not in the user's file.
    std::unique_ptr<LayerArchiveReader> reader(new LayerArchiveReader());
    reader->m_copy = std::make_unique<QTemporaryFile>(*folder + QStringLiteral("/archive-XXXXXX.zip"));
    QTemporaryFile &copy = *reader->m_copy;
    if (!copy.open())
        return Opened::failure(
            QStringLiteral("the private copy of %1 cannot be made: %2").arg(path, copy.errorString()));
    qint64 copied = 0;
    while (!file.atEnd()) {
        QByteArray chunk = file.read(CopyChunk);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
            return Opened::failure(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        if (copied == 0)
            LayerArchiveWriter::setPKSignature(chunk, true);
        copied += chunk.size();
        if (copied > limits.archiveBytes)
            return Opened::failure(
                QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(limits.archiveBytes));
        if (copy.write(chunk) != chunk.size())
            return Opened::failure(QStringLiteral("the private copy of %1 cannot be written").arg(path));
    }
    if (!copy.flush())
        return Opened::failure(QStringLiteral("the private copy of %1 cannot be written").arg(path));
    if (copied < 4)
        return Opened::failure(QStringLiteral("%1 is not a layer archive").arg(path));

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_file_create(copy.fileName().toLocal8Bit().constData(), 0, -1, &error);
    if (!source)
        return Opened::failure(QStringLiteral("%1 cannot be read: %2").arg(path, zipError(error)));
    zip_error_fini(&error);
    Opened opened = openSource(std::move(reader), source, limits);
    if (!opened)
        return Opened::failure(QStringLiteral("%1: %2").arg(path, opened.error()));
    return opened;
}

Opened LayerArchiveReader::fromData(QByteArray bytes, const Limits &limits)
{
    if (bytes.size() > limits.archiveBytes)
        return Opened::failure(
            QStringLiteral("the archive is larger than %1 bytes").arg(limits.archiveBytes));
    if (bytes.size() < 4)
        return Opened::failure(QStringLiteral("not a layer archive"));
    std::unique_ptr<LayerArchiveReader> reader(new LayerArchiveReader());
    reader->m_bytes = std::move(bytes);
    LayerArchiveWriter::setPKSignature(reader->m_bytes, true);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(
        reader->m_bytes.constData(), static_cast<zip_uint64_t>(reader->m_bytes.size()), 0, &error);
    if (!source)
        return Opened::failure(zipError(error));
    zip_error_fini(&error);
    return openSource(std::move(reader), source, limits);
}

Opened LayerArchiveReader::openSource(std::unique_ptr<LayerArchiveReader> reader, zip_source *source,
                                      const Limits &limits)
{
    zip_error_t error;
    zip_error_init(&error);
    reader->m_zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!reader->m_zip) {
        zip_source_free(source);
        return Opened::failure(QStringLiteral("not a layer archive (%1)").arg(zipError(error)));
    }
    zip_error_fini(&error);
    reader->m_totalLimit = limits.totalBytes;

    const zip_int64_t count = zip_get_num_entries(reader->m_zip, 0);
    if (count < 0 || count > limits.entries)
        return Opened::failure(QStringLiteral("the archive holds more than %1 entries").arg(limits.entries));
    for (zip_int64_t index = 0; index < count; ++index) {
        const auto at = static_cast<zip_uint64_t>(index);
        const char *raw = zip_get_name(reader->m_zip, at, ZIP_FL_ENC_GUESS);
        if (!raw)
            return Opened::failure(QStringLiteral("entry %1 of the archive has no readable name").arg(index));
        const QString name = QString::fromUtf8(raw);
        if (leavesFolder(name))
            return Opened::failure(
                QStringLiteral("the archive holds an entry outside its folder: %1").arg(name));
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(reader->m_zip, at, 0, &system, &attributes) != 0)
            return Opened::failure(QStringLiteral("entry %1 of the archive is damaged").arg(name));
        const zip_uint32_t mode = system == ZIP_OPSYS_UNIX ? (attributes >> 16) & S_IFMT : 0;
        if (mode == S_IFLNK)
            return Opened::failure(QStringLiteral("the archive holds a link: %1").arg(name));
        const bool regular = mode == 0 || mode == S_IFREG;
        if (!regular || name.contains(QLatin1Char('/')))
            continue; // folders and what lies in them are never read
        if (reader->m_entries.contains(name))
            return Opened::failure(QStringLiteral("the archive holds %1 twice").arg(name));
        reader->m_entries.insert(name, at);
    }
    return Opened(std::move(reader));
}

bool LayerArchiveReader::contains(const QString &name) const
{
    return m_entries.contains(name);
}

Result<QByteArray> LayerArchiveReader::read(const QString &name, qint64 limit)
{
    using Read = Result<QByteArray>;
    const auto found = m_entries.constFind(name);
    if (found == m_entries.cend())
        return Read::failure(QStringLiteral("the archive holds no %1").arg(name));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, *found, 0, &stat) != 0)
        return Read::failure(QStringLiteral("%1 in the archive is damaged").arg(name));
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return Read::failure(QStringLiteral("%1 in the archive is encrypted").arg(name));
    if ((stat.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(stat.comp_method, 0))
        return Read::failure(
            QStringLiteral("%1 in the archive is compressed in a way that cannot be read").arg(name));
    zip_file_t *entry = zip_fopen_index(m_zip, *found, 0);
    if (!entry)
        return Read::failure(QStringLiteral("%1 in the archive cannot be read: %2")
                                 .arg(name, QString::fromUtf8(zip_strerror(m_zip))));
    QByteArray bytes;
    QString problem;
    for (;;) {
        const qint64 room = std::min(limit - bytes.size(), m_totalLimit - m_inflated);
        // One byte past what may be taken tells a bomb from an entry that fits exactly.
        const qint64 want = std::min<qint64>(ReadChunk, room + 1);
        const qsizetype start = bytes.size();
        bytes.resize(start + want);
        const zip_int64_t got = zip_fread(entry, bytes.data() + start, static_cast<zip_uint64_t>(want));
        if (got < 0) {
            problem = QStringLiteral("%1 in the archive is damaged: %2")
                          .arg(name, QString::fromUtf8(zip_file_strerror(entry)));
            break;
        }
        bytes.resize(start + got);
        m_inflated += got;
        if (bytes.size() > limit) {
            problem = QStringLiteral("%1 in the archive inflates past %2 bytes").arg(name).arg(limit);
            break;
        }
        if (m_inflated > m_totalLimit) {
            problem = QStringLiteral("the archive inflates past %1 bytes").arg(m_totalLimit);
            break;
        }
        if (got == 0)
            break;
    }
    zip_fclose(entry);
    if (!problem.isEmpty())
        return Read::failure(problem);
    return bytes;
}

} // namespace brevona
