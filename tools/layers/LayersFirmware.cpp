#include "LayersFirmware.h"

#include <QEventLoop>
#include <QTextStream>

#include "FirmwareImage.h"
#include "FirmwareTarget.h"
#include "FirmwareVersion.h"
#include "KCFirmwareUpgrade.h"
#include "LayersSubcommands.h"
#include "PropertyList.h"

namespace brevona {

LayersFirmware::LayersFirmware(KCFirmwareUpgrade &upgrade, QTextStream &out, QTextStream &err)
    : m_upgrade(upgrade)
    , m_out(out)
    , m_err(err)
{}

QString LayersFirmware::help()
{
    return QStringLiteral(
        "Usage: brevona-layers firmware status\n"
        "       brevona-layers firmware upgrade [FILE]\n"
        "status shows whether the keyboard is connected, its firmware version, the version offered\n"
        "(FILE, else the image shipped with the configurator) and what the upgrade button would do.\n"
        "upgrade writes the image onto the keyboard as the updates window does: the file must be a\n"
        "regular file (not a link or a FIFO) carrying a version and of the size of the keyboard's own\n"
        "image; only then is the driver told to let go of the keyboard, and 2 s later the image is\n"
        "written in place. Without FILE the shipped image is written only when it is newer. The\n"
        "keyboard then installs it and reconnects. A refused or failed upgrade leaves the driver\n"
        "with the keyboard.\n");
}

int LayersFirmware::run(const QStringList &arguments, bool plist)
{
    const QString verb = arguments.value(1);
    if (verb == QLatin1String("status") && arguments.size() == 2)
        return status(plist);
    if (verb == QLatin1String("upgrade") && arguments.size() <= 3)
        return upgrade(arguments.mid(2));
    return refuse(
        QStringLiteral("firmware takes status or upgrade [FILE] (see brevona-layers firmware --help)"));
}

int LayersFirmware::status(bool plist)
{
    m_upgrade.updateKeyboardStatus();
    const KCFirmwareStatus &status = m_upgrade.status();
    if (plist) {
        const QVariantMap values{
            {QStringLiteral("Connected"), status.connected},
            {QStringLiteral("InstalledVersion"), status.current},
            {QStringLiteral("AvailableVersion"), status.available},
            {QStringLiteral("Source"), m_upgrade.sourceImagePath()},
            {QStringLiteral("Button"), status.buttonTitle},
            {QStringLiteral("ButtonEnabled"), status.buttonEnabled},
        };
        m_out << PropertyList::toData(values).value_or(QByteArray());
        return LayersSubcommands::Done;
    }
    m_out << status.connectionText << '\n'
          << "Installed: " << status.currentText << '\n'
          << status.sourceLabel << ' ' << status.availableText << " (" << m_upgrade.sourceImagePath() << ")\n"
          << status.buttonTitle << (status.buttonEnabled ? "" : " (not available)") << '\n';
    return LayersSubcommands::Done;
}

int LayersFirmware::upgrade(const QStringList &files)
{
    if (!files.isEmpty()) {
        m_upgrade.setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
        if (const auto refusal = m_upgrade.setCustomUpgradeBinPath(files.first()))
            return refuse(*refusal);
    }
    // The given file against the keyboard's own image first: a file that cannot be written is bad
    // input, told before anything reaches the driver. (A shipped image that does not fit is a
    // failure of the installation, left to the upgrade's own checks.)
    const auto target = m_upgrade.virtualDiskPathForFile(KCFirmwareUpgrade::ImageFile);
    if (!files.isEmpty() && target) {
        if (const auto identity = FirmwareTarget::inspect(*target)) {
            const auto image = FirmwareImage::load(m_upgrade.sourceImagePath(), identity->size);
            if (!image)
                return refuse(image.error());
        }
    }
    QEventLoop loop;
    int exitStatus = LayersSubcommands::Failed;
    QObject::connect(&m_upgrade, &KCFirmwareUpgrade::imageWritten, &loop, [&] {
        exitStatus = LayersSubcommands::Done;
        loop.quit();
    });
    QObject::connect(&m_upgrade, &KCFirmwareUpgrade::upgradeFailed, &loop, [&](const QString &message) {
        m_err << "brevona-layers: " << message << '\n';
        loop.quit();
    });
    if (!m_upgrade.updateFirmware())
        return LayersSubcommands::Failed;
    loop.exec();
    if (exitStatus == LayersSubcommands::Done)
        m_out << "Firmware " << FirmwareVersion::text(m_upgrade.status().available)
              << " written; the keyboard installs it and reconnects\n";
    return exitStatus;
}

int LayersFirmware::refuse(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return LayersSubcommands::BadInput;
}

} // namespace brevona
