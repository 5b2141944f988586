#pragma once

#include <QtGlobal>

namespace brevona::rgb565 {

// The keyboard's display pixels: 16-bit RGB 5-6-5 from 8-bit channels. The display shows its
// lowest green levels as a green cast on black, so a green value below 8 is dropped before packing.
constexpr int keptGreen(int green)
{
    return green < 8 ? 0 : green;
}

// The 16-bit value of 8-bit channels, without the green rule.
constexpr quint16 packed(int red, int green, int blue)
{
    return static_cast<quint16>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) | ((blue & 0xFF) >> 3));
}

} // namespace brevona::rgb565
