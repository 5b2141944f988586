#pragma once

#include <utility>

#include <QByteArray>
#include <QList>
#include <QString>

#include "Result.h"

namespace brevona {

// Builds a layer archive: a ZIP archive of top-level entries, deflated, made in memory and
// written to its file atomically (a temporary file beside it, renamed into place).
//
// Archives are handed around with their first four bytes, the first local-file-header
// signature "PK" 03 04, replaced by four zero bytes; readers set the signature back before they
// unpack, so both forms open everywhere.
class LayerArchiveWriter
{
public:
    void add(const QString &name, QByteArray bytes);
    qsizetype count() const { return m_entries.size(); }

    // The archive as a standard ZIP file (signature in place).
    Result<QByteArray> archive() const;
    // The archive with its first four bytes blanked, written to `path` atomically.
    Result<bool> write(const QString &path) const;

    // Writes the four signature bytes (true) or four zero bytes (false) at the start of `bytes`;
    // nothing when there are fewer than four.
    static void setPKSignature(QByteArray &bytes, bool signature);

private:
    QList<std::pair<QString, QByteArray>> m_entries;
};

} // namespace brevona
