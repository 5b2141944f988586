#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "Result.h"

namespace brevona {

// A firmware image read into memory and checked before anyone is told anything: a regular file
// (not a link, a folder, a FIFO or a device), with a version, of the size the keyboard's own
// image has. The bytes checked are the bytes written later, so the file changing in between
// changes nothing.
class FirmwareImage
{
public:
    // Far above any image for this keyboard; refuses reading a huge file into memory by mistake.
    static constexpr qint64 MaxSize = 64 * 1024 * 1024;

    // `expectedSize`: the size of "upgrade.bin" on the keyboard; nothing to skip the size check (a
    // file chosen while no keyboard is connected). The error is one line naming the file.
    static Result<FirmwareImage> load(const QString &path, std::optional<qint64> expectedSize);

    const QString &path() const { return m_path; }
    const QByteArray &bytes() const { return m_bytes; }
    double version() const { return m_version; }

private:
    FirmwareImage() = default;

    QString m_path;
    QByteArray m_bytes;
    double m_version = 0;
};

} // namespace brevona
