#include "KCFirmwareStatus.h"

#include "FirmwareVersion.h"

namespace brevona {

const QString KCFirmwareStatus::ConnectedText = QStringLiteral("Keyboard is connected");
const QString KCFirmwareStatus::NotConnectedText = QStringLiteral("Keyboard is not connected");
const QString KCFirmwareStatus::WaitingText = QStringLiteral("Waiting for keyboard...");

KCFirmwareStatus KCFirmwareStatus::evaluate(const Inputs &inputs)
{
    KCFirmwareStatus status;
    status.connected = inputs.connected;
    status.connectionText = inputs.connected ? ConnectedText : NotConnectedText;
    status.connectionTone = inputs.connected ? Tone::DarkGrey : Tone::DarkRed;
    status.sourceLabel = inputs.fileChosen ? QStringLiteral("From file:") : QStringLiteral("Latest:");
    status.current = inputs.current;
    status.available = inputs.available;
    status.newer = inputs.available > inputs.current;
    if (status.newer)
        status.buttonTitle = QStringLiteral("Upgrade");
    else if (inputs.available == inputs.current)
        status.buttonTitle = QStringLiteral("Restore");
    else
        status.buttonTitle = QStringLiteral("Downgrade");
    status.currentText = FirmwareVersion::text(inputs.current);
    status.currentTone = inputs.current > 0 ? Tone::White : Tone::Grey;
    status.availableText = FirmwareVersion::text(inputs.available);
    if (inputs.available <= 0)
        status.availableTone = Tone::Grey;
    else
        status.availableTone = inputs.connected && status.newer ? Tone::Red : Tone::White;
    if (inputs.mode == FirmwareUpdateMode::ShippedImage)
        status.buttonEnabled = inputs.connected && status.newer;
    else
        status.buttonEnabled = inputs.connected && inputs.fileChosen;
    return status;
}

QColor KCFirmwareStatus::color(Tone tone)
{
    switch (tone) {
    case Tone::DarkGrey:
        return QColor(Qt::darkGray);
    case Tone::DarkRed:
        return QColor::fromHsvF(0.0f, 0.4f, 0.4f);
    case Tone::White:
        return QColor(Qt::white);
    case Tone::Grey:
        return QColor(Qt::gray);
    case Tone::Red:
        return QColor(Qt::red);
    }
    return QColor();
}

} // namespace brevona
