#pragma once

#include <chrono>
#include <optional>

#include <QByteArray>
#include <QString>

#include "VolumeLayout.h"

namespace brevona {

// A folder standing for the keyboard's mass-storage volume: "vLumivox" inside it holds
// "layout.sys" (one byte per display, 1 while the driver drives it), "scancode.sys" and one
// picture file "dynamic/%03d.sys" of 4608 bytes per display, and the firmware files "version.sys"
// (the installed firmware's version after a "V") and "upgrade.bin" (the firmware image, which the
// configurator overwrites in place to upgrade). Creating "vLumivox" stands for mounting the volume,
// removing it for unmounting; unplugging moves it aside and plugging in puts it back.
class SimulatedVolume
{
public:
    static constexpr int kDisplayCount = volumelayout::DisplayCount;
    static constexpr int kDisplayFileSize = volumelayout::DisplayFileSize;
    static constexpr int kScancodeTableSize = volumelayout::ScancodeTableSize;

    explicit SimulatedVolume(const QString &root);

    QString root() const { return m_root; }
    QString volumeFolder() const;
    QString layoutPath() const;
    QString scancodePath() const;
    QString displayPath(int display) const;
    QString firmwareVersionPath() const;
    QString firmwareImagePath() const;

    // Makes whatever is missing, as a freshly plugged keyboard has it: the displays in the
    // keyboard's own control (layout all 0), black pictures, and the given scancode table (all
    // zero when it is not 9216 bytes). Files that exist with the right size are left alone, so
    // creating again over a volume the driver is writing to changes nothing.
    bool create(const QByteArray &scancodeTable) const;

    static inline const QString kDefaultFirmwareVersion = QStringLiteral("1.00");
    static constexpr qint64 kDefaultFirmwareSize = 64 * 1024;
    // The firmware files: "version.sys" holds "V" and `version`, "upgrade.bin" is the keyboard's
    // own image of `imageSize` bytes, which starts the same way. Without `replace` only missing
    // files are made. False (logged) when `version` is no number or the size is not positive.
    bool createFirmware(const QString &version, qint64 imageSize, bool replace) const;
    // The version in "version.sys" (the number after its "V"), or nothing.
    std::optional<QString> firmwareVersion() const;

    // The keyboard installing a written image: unplugged, it takes the version "upgrade.bin"
    // carries into "version.sys" (an image without one is not taken), and comes back. reconnect()
    // stays unplugged for `unplugged` so that the programs watching the volume see both events;
    // unplug() and plugIn() let a caller run its own event loop in between.
    bool reconnect(std::chrono::milliseconds unplugged) const;
    bool unplug() const;
    // Also says which version the keyboard now runs in `installed`.
    bool plugIn(QString *installed = nullptr) const;

    bool isMounted() const;
    // The display's file, or nothing unless it holds exactly 4608 bytes.
    std::optional<QByteArray> readDisplay(int display) const;
    // "layout.sys" as it is (empty when missing): byte n-1 is not 0 while the driver drives
    // display n.
    QByteArray readLayout() const;
    bool isDriven(int display) const;
    // Rewrites a display file in place, as the driver does with the handle it keeps open.
    bool writeDisplay(int display, const QByteArray &bytes) const;

private:
    QString unpluggedFolder() const;

    QString m_root;
};

} // namespace brevona
