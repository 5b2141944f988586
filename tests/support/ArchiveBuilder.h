#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QList>
#include <QString>

#include <zip.h>

namespace brevona::test {

// ZIP archives as other programs (or attackers) make them, entry by entry: links, encrypted
// entries and names that leave their folder included. Built with libzip in memory.
struct ArchiveEntry
{
    QString name;
    QByteArray bytes;
    quint32 mode = S_IFREG | 0644;
    bool encrypted = false;
};

inline QByteArray zipOf(const QList<ArchiveEntry> &entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t *archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive)
        return {};
    zip_source_keep(target);
    for (const ArchiveEntry &entry : entries) {
        zip_source_t *data = zip_source_buffer(archive, entry.bytes.constData(),
                                               static_cast<zip_uint64_t>(entry.bytes.size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, entry.name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            return {};
        zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                         entry.mode << 16);
        if (entry.encrypted &&
            zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256, "secret") != 0)
            return {};
    }
    QByteArray bytes;
    if (zip_close(archive) == 0 && zip_source_open(target) == 0) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_source_stat(target, &stat);
        bytes.resize(static_cast<qsizetype>(stat.size));
        zip_source_read(target, bytes.data(), stat.size);
        zip_source_close(target);
    }
    zip_source_free(target);
    return bytes;
}

} // namespace brevona::test
