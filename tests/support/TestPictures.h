#pragma once

#include <QByteArray>
#include <QList>

namespace brevona::test {

// A looping GIF89a of 4 x 4 frames, each of one colour of its table (0 red, 1 green, 2 blue),
// shown for `delay` hundredths of a second. Qt writes no GIF: the picture data has a clear code
// before every pixel, so every code keeps three bits and nothing needs compressing.
QByteArray animatedGif(const QList<int> &frames, int delay);

} // namespace brevona::test
