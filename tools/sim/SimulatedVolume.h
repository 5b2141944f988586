#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "VolumeLayout.h"

namespace brevona {

// A folder standing for the keyboard's mass-storage volume: "vLumivox" inside it holds
// "layout.sys" (one byte per display, 1 while the driver drives it), "scancode.sys" and one
// picture file "dynamic/%03d.sys" of 4608 bytes per display. Creating "vLumivox" stands for
// mounting the volume, removing it for unmounting.
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

    // Makes whatever is missing, as a freshly plugged keyboard has it: the displays in the
    // keyboard's own control (layout all 0), black pictures, and the given scancode table (all
    // zero when it is not 9216 bytes). Files that exist with the right size are left alone, so
    // creating again over a volume the driver is writing to changes nothing.
    bool create(const QByteArray &scancodeTable) const;

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
    QString m_root;
};

} // namespace brevona
