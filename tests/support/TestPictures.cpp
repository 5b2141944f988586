#include "TestPictures.h"

namespace brevona::test {

QByteArray animatedGif(const QList<int> &frames, int delay)
{
    QByteArray gif("GIF89a");
    const auto word = [&](int value) { gif.append(char(value & 0xff)).append(char(value >> 8)); };
    word(4);
    word(4);
    gif.append("\xf1\0\0", 3); // a global table of four colours
    gif.append("\xff\0\0\0\xff\0\0\0\xff\0\0\0", 12);
    gif.append("\x21\xff\x0bNETSCAPE2.0\x03\x01\0\0\0", 19); // loop for ever
    for (int colour : frames) {
        gif.append("\x21\xf9\x04\0", 4);
        word(delay);
        gif.append("\0\0\x2c\0\0\0\0\x04\0\x04\0", 11); // a 4 x 4 frame at 0, 0
        gif.append("\0\x02", 2);                        // no local table; codes start at two bits plus one
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        const auto code = [&](int value) {
            bits |= quint32(value) << count;
            count += 3;
            for (; count >= 8; count -= 8, bits >>= 8)
                data.append(char(bits & 0xff));
        };
        for (int pixel = 0; pixel < 16; ++pixel) {
            code(4);
            code(colour);
        }
        code(5);
        if (count > 0)
            data.append(char(bits & 0xff));
        gif.append(char(data.size())).append(data).append('\0');
    }
    return gif.append('\x3b');
}

} // namespace brevona::test
