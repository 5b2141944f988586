#pragma once

#include <QColor>
#include <QString>

namespace brevona {

// Which image the firmware page offers: the one shipped with the configurator, or a chosen file.
enum class FirmwareUpdateMode
{
    ShippedImage = 0,
    ChosenFile = 1,
};

// What the firmware page shows after a status check: connection, both versions, and the button.
// Texts are the page's own; colours come as tones so the window picks them, with color() as the
// page's defaults.
struct KCFirmwareStatus
{
    enum class Tone
    {
        DarkGrey,
        DarkRed,
        White,
        Grey,
        Red,
    };

    struct Inputs
    {
        bool connected = false; // "upgrade.bin" and "version.sys" in the keyboard's folder
        double current = -2;    // the version in "version.sys"
        double available = -2;  // the version of the image offered
        FirmwareUpdateMode mode = FirmwareUpdateMode::ShippedImage;
        bool fileChosen = false;
    };

    static KCFirmwareStatus evaluate(const Inputs &inputs);
    static QColor color(Tone tone);

    static const QString ConnectedText;
    static const QString NotConnectedText;
    static const QString WaitingText;

    bool connected = false;
    QString connectionText;
    Tone connectionTone = Tone::DarkRed;
    QString sourceLabel; // "From file:" or "Latest:"
    double current = -2;
    double available = -2;
    QString currentText;
    Tone currentTone = Tone::Grey;
    QString availableText;
    Tone availableTone = Tone::Grey;
    QString buttonTitle; // "Upgrade", "Restore" or "Downgrade"
    bool buttonEnabled = false;
    bool newer = false; // the image offered is newer than the keyboard's firmware
};

} // namespace brevona
