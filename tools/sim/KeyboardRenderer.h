#pragma once

#include <QImage>

namespace brevona {

class KeyboardData;
class SimulatedVolume;

// Draws what the simulated keyboard shows: the keyboard background with every display's
// current picture in its cell. A display the driver has taken over shows its file decoded from
// RGB 5-6-5 (turned displays turned back upright); a display still in the keyboard's own control
// shows the keyboard's built-in picture, the key's name; an unmounted volume leaves all dark.
class KeyboardRenderer
{
public:
    // A background of another size than the layer picture is not used; the keyboard is then
    // drawn on black.
    KeyboardRenderer(const KeyboardData &data, const QImage &background);

    QImage render(const SimulatedVolume &volume) const;

    // The keyboard's own picture of a key, shown until the driver takes the display over.
    static QImage builtInPicture(const QString &keyName);

private:
    const KeyboardData &m_data;
    QImage m_background;
};

} // namespace brevona
