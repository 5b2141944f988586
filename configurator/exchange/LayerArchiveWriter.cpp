#include "LayerArchiveWriter.h"

#include <sys/stat.h>

#include <QSaveFile>

#include <zip.h>

namespace brevona {

namespace {

constexpr char Signature[4] = {'P', 'K', 3, 4};

} // namespace

void LayerArchiveWriter::add(const QString &name, QByteArray bytes)
{
    m_entries.append({name, std::move(bytes)});
}

void LayerArchiveWriter::setPKSignature(QByteArray &bytes, bool signature)
{
    if (bytes.size() < 4)
        return;
    for (int i = 0; i < 4; ++i)
        bytes[i] = signature ? Signature[i] : '\0';
}

Result<QByteArray> LayerArchiveWriter::archive() const
{
    using Built = Result<QByteArray>;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *target = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!target) {
        const QString why = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        return Built::failure(QStringLiteral("the archive cannot be made: %1").arg(why));
    }
    zip_t *archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    if (!archive) {
        const QString why = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        zip_source_free(target);
        return Built::failure(QStringLiteral("the archive cannot be made: %1").arg(why));
    }
    zip_error_fini(&error);
    // The buffer must outlive the archive: its bytes are read after the archive is closed.
    zip_source_keep(target);
    QString problem;
    for (const auto &[name, bytes] : m_entries) {
        zip_source_t *data =
            zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        const QByteArray utf8 = name.toUtf8();
        const zip_int64_t index = data ? zip_file_add(archive, utf8.constData(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (data)
                zip_source_free(data);
            problem = QString::fromUtf8(zip_strerror(archive));
            break;
        }
        const auto at = static_cast<zip_uint64_t>(index);
        zip_set_file_compression(archive, at, ZIP_CM_DEFLATE, 0);
        zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX, (S_IFREG | 0644u) << 16);
    }
    if (problem.isEmpty() && zip_close(archive) != 0)
        problem = QString::fromUtf8(zip_strerror(archive));
    if (!problem.isEmpty()) {
        zip_discard(archive);
        zip_source_free(target);
        return Built::failure(QStringLiteral("the archive cannot be made: %1").arg(problem));
    }
    QByteArray result;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(target, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) && zip_source_open(target) == 0) {
        result.resize(static_cast<qsizetype>(stat.size));
        const zip_int64_t got = zip_source_read(target, result.data(), stat.size);
        zip_source_close(target);
        if (got != static_cast<zip_int64_t>(stat.size))
            result.clear();
    }
    zip_source_free(target);
    if (result.isEmpty())
        return Built::failure(QStringLiteral("the archive cannot be made: its bytes cannot be read back"));
    return result;
}

Result<bool> LayerArchiveWriter::write(const QString &path) const
{
    Result<QByteArray> bytes = archive();
    if (!bytes)
        return Result<bool>::failure(bytes.error());
    setPKSignature(*bytes, false);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return Result<bool>::failure(
            QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
    return true;
}

} // namespace brevona
