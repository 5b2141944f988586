#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

#include "Result.h"

namespace brevona {

// "upgrade.bin" on the keyboard's volume: the file the keyboard takes its new firmware from. It is
// only ever rewritten in place, from its start, to its full length, then synced: the keyboard
// watches that file, so no new file is made and nothing is renamed over it.
class FirmwareTarget
{
public:
    // Which file it is, so a write lands in the file that was checked and nowhere else. An inode
    // number freed by a deleted file can be given to the next one at once: the change time tells
    // them apart.
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        qint64 size = 0;
        qint64 changedNs = 0;

        bool operator==(const Identity &) const = default;
    };

    // The system calls the write goes through; tests stand in short writes and I/O errors.
    struct Io
    {
        std::function<ssize_t(int fd, const char *bytes, size_t count, off_t offset)> pwrite;
        std::function<int(int fd)> fsync;
    };
    static Io systemIo();

    // The file as it is now: a regular file (not a link) that exists. The error is one line.
    static Result<Identity> inspect(const QString &path);

    // Writes `bytes` over the file at `path`, which must still be the file `expected` describes
    // (same device, inode and size). Short writes are continued; nothing is created or truncated.
    // Nothing on success, else one line saying what went wrong (logged here).
    static std::optional<QString> writeInPlace(const QString &path, const Identity &expected,
                                               const QByteArray &bytes, const Io &io = systemIo());
};

} // namespace brevona
