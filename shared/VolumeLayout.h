#pragma once

#include <QString>

namespace brevona::volumelayout {

// The keyboard's mass-storage volume: the driver writes it, the simulator plays the keyboard's
// side of it, the resource generator and the tests build what goes on it.

// Key displays, numbered 1...DisplayCount, each DisplaySide pixels square and written as RGB 5-6-5,
// two bytes a pixel.
constexpr int DisplayCount = 114;
constexpr int DisplaySide = 48;
constexpr int DisplayFileSize = DisplaySide * DisplaySide * 2; // 4608

// The key-code table: one record for each of the key matrix's positions.
constexpr int ScancodeRecordSize = 64;
constexpr int ScancodeRecordCount = 144;
constexpr int ScancodeTableSize = ScancodeRecordSize * ScancodeRecordCount; // 9216

// Paths relative to the volume's mount point.
inline const QString VolumeFolder = QStringLiteral("vLumivox");
inline const QString DisplaysFolder = QStringLiteral("vLumivox/dynamic");
inline const QString LayoutFile = QStringLiteral("vLumivox/layout.sys");
inline const QString ScancodeFile = QStringLiteral("vLumivox/scancode.sys");
inline const QString OrderFile = QStringLiteral("vLumivox/order.sys");

// "vLumivox/dynamic/001.sys" ... "vLumivox/dynamic/114.sys".
inline QString displayFile(int display)
{
    return DisplaysFolder + QStringLiteral("/%1.sys").arg(display, 3, 10, QLatin1Char('0'));
}

} // namespace brevona::volumelayout
