#pragma once

#include <memory>

#include <QByteArray>
#include <QHash>
#include <QString>

#include "Result.h"

class QTemporaryFile;
struct zip;
struct zip_source;

namespace brevona {

// Reads the entries of a layer archive that may come from anywhere.
//
// The archive is read from a private copy (or from memory), never from the file the user chose,
// with its first four bytes set to the local-file-header signature: archives are handed around
// with those bytes blanked. An archive is refused as a whole when it holds too many entries, an
// entry whose name leaves its folder ("../", an absolute path, a drive letter, a backslash) or a
// link. Only top-level regular entries can be read, by their exact name, and only when they are
// not encrypted and their compression is one that can be read. What an entry inflates to is
// counted while it is read, for the entry and for the whole archive, and never taken from its
// header.
class LayerArchiveReader
{
public:
    struct Limits
    {
        qint64 archiveBytes = 512LL * 1024 * 1024;
        qint64 entries = 1024;
        qint64 totalBytes = 512LL * 1024 * 1024; // inflated, all entries read together
    };

    ~LayerArchiveReader();
    LayerArchiveReader(const LayerArchiveReader &) = delete;
    LayerArchiveReader &operator=(const LayerArchiveReader &) = delete;

    static Result<std::unique_ptr<LayerArchiveReader>> open(const QString &path, const Limits &limits);
    static Result<std::unique_ptr<LayerArchiveReader>> open(const QString &path)
    {
        return open(path, Limits());
    }
    static Result<std::unique_ptr<LayerArchiveReader>> fromData(QByteArray bytes, const Limits &limits);

    // Whether a top-level regular entry has exactly this name.
    bool contains(const QString &name) const;
    // The entry's bytes; a failure when it is missing, unreadable, damaged or inflates past `limit`
    // (or past what is left of the archive's total).
    Result<QByteArray> read(const QString &name, qint64 limit);

private:
    LayerArchiveReader() = default;
    static Result<std::unique_ptr<LayerArchiveReader>> openSource(std::unique_ptr<LayerArchiveReader> reader,
                                                                  zip_source *source, const Limits &limits);

    zip *m_zip = nullptr;
    QByteArray m_bytes; // the archive when it is read from memory
    std::unique_ptr<QTemporaryFile> m_copy;
    QHash<QString, quint64> m_entries; // top-level regular entries
    qint64 m_inflated = 0;
    qint64 m_totalLimit = 0;
};

} // namespace brevona
