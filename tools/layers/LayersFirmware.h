#pragma once

#include <QStringList>

class QTextStream;

namespace brevona {

class FirmwareDriverControl;
class KCFirmwareUpgrade;
class VolumeMonitor;

// brevona-layers' "firmware": the firmware page of the updates window for scripts. "status" shows
// what the page shows; "upgrade [FILE]" writes FILE (or the shipped image, when it is newer) onto
// the keyboard with the page's checks and sequence, and returns once the image is written or the
// upgrade failed (the driver then has the keyboard again). It does not need the layer store.
class LayersFirmware
{
public:
    LayersFirmware(KCFirmwareUpgrade &upgrade, QTextStream &out, QTextStream &err);

    static QString help();

    // `arguments` starts with "firmware". An exit status of LayersSubcommands.
    int run(const QStringList &arguments, bool plist);

private:
    int status(bool plist);
    int upgrade(const QStringList &files);
    int refuse(const QString &why);

    KCFirmwareUpgrade &m_upgrade;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace brevona
