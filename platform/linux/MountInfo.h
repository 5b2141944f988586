#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace brevona {

// The kernel's table of mounts as /proc/<pid>/mountinfo writes it, one line per mount:
//   36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue
// Paths carry space, tab, newline and backslash as three-digit octal escapes ("\040").
class MountInfo
{
public:
    struct Entry
    {
        int mountId = 0;
        int parentId = 0;
        unsigned major = 0;
        unsigned minor = 0;
        QString root;
        QString mountPoint;
        QString fsType;
        QString source;
    };

    // Malformed lines are skipped; the others keep their order.
    static std::vector<Entry> parse(QByteArrayView text);
    // Reads the whole table from an open descriptor, from its start. Nothing on a read error.
    static std::optional<QByteArray> readAll(int fd);
    static QString unescape(QByteArrayView field);
};

} // namespace brevona
