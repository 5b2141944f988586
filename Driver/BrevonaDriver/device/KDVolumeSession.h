#pragma once

#include <array>
#include <optional>

#include <QByteArray>
#include <QHash>
#include <QString>

#include "VolumeLayout.h"

namespace brevona {

// One keyboard volume while the device uses it: its mount point, the open display files and what
// the writer has put on them. The device replaces the whole session when the volume changes (a new
// mount, the display files reopened, the state cleared), so a write still running on the old
// session finishes on its own descriptors and a cleared state can never be refilled by it. The
// descriptors close when the last holder lets go.
class KDVolumeSession
{
public:
    static constexpr int DisplayCount = volumelayout::DisplayCount;

    explicit KDVolumeSession(QString mountPoint);
    ~KDVolumeSession();
    KDVolumeSession(const KDVolumeSession &) = delete;
    KDVolumeSession &operator=(const KDVolumeSession &) = delete;

    const QString &mountPoint() const { return m_mountPoint; }
    QString filePath(const QString &relativePath) const;
    static QString filePath(const QString &mountPoint, const QString &relativePath);

    // Opens "vLumivox/dynamic/001.sys" ... "114.sys" for writing, non-blocking, without creating
    // them. When one cannot be opened, none stays open and the error is returned.
    std::optional<QString> openDynamicSysFiles();
    bool hasDisplayFiles() const { return m_files[0] >= 0; }

    // Rewrites a display's file at offset 0 once its descriptor is writable, then flushes it to the
    // device. The error text on failure.
    std::optional<QString> writeDisplay(int display, const QByteArray &bytes) const;

    // Replaces a whole file of the volume and flushes it to the device. The file is rewritten in
    // place rather than replaced by a renamed copy: the keyboard's firmware watches these names.
    std::optional<QString> writeFile(const QString &relativePath, const QByteArray &bytes) const;
    static std::optional<QString> writeFile(const QString &mountPoint, const QString &relativePath,
                                            const QByteArray &bytes);

    // What the writer last put on each display, and the last key-code table; the writer thread
    // alone uses them.
    QHash<int, QByteArray> alreadyShownImages;
    std::optional<QByteArray> lastWrittenScancodes;

private:
    void closeAll();

    QString m_mountPoint;
    std::array<int, DisplayCount> m_files;
};

} // namespace brevona
