#include "SimulatedVolume.h"

#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "FirmwareVersion.h"
#include "SimLogging.h"
#include "VolumeLayout.h"

namespace brevona {

namespace {

// Plain writes: a half-made volume is finished by creating it again, and syncing 116 files to
// disk one by one would make creating a volume slow.
bool writeNewFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
        file.flush())
        return true;
    qCWarning(lcSim, "Cannot write %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
    return false;
}

// The version as the keyboard writes it: the shortest text of the number.
QByteArray versionText(double version)
{
    return "V" + QByteArray::number(version, 'g', 12);
}

bool hasSize(const QString &path, qint64 size)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() == size;
}

} // namespace

SimulatedVolume::SimulatedVolume(const QString &root)
    : m_root(QDir::cleanPath(QDir(root).absolutePath()))
{}

QString SimulatedVolume::volumeFolder() const
{
    return m_root + QLatin1Char('/') + volumelayout::VolumeFolder;
}

QString SimulatedVolume::layoutPath() const
{
    return m_root + QLatin1Char('/') + volumelayout::LayoutFile;
}

QString SimulatedVolume::scancodePath() const
{
    return m_root + QLatin1Char('/') + volumelayout::ScancodeFile;
}

QString SimulatedVolume::displayPath(int display) const
{
    return m_root + QLatin1Char('/') + volumelayout::displayFile(display);
}

QString SimulatedVolume::firmwareVersionPath() const
{
    return volumeFolder() + QStringLiteral("/version.sys");
}

QString SimulatedVolume::firmwareImagePath() const
{
    return volumeFolder() + QStringLiteral("/upgrade.bin");
}

QString SimulatedVolume::unpluggedFolder() const
{
    return m_root + QStringLiteral("/.vLumivox-unplugged");
}

bool SimulatedVolume::create(const QByteArray &scancodeTable) const
{
    if (!QDir().mkpath(m_root + QLatin1Char('/') + volumelayout::DisplaysFolder)) {
        qCWarning(lcSim, "Cannot create %s", qUtf8Printable(volumeFolder()));
        return false;
    }
    bool ok = true;
    if (!hasSize(layoutPath(), kDisplayCount))
        ok = writeNewFile(layoutPath(), QByteArray(kDisplayCount, '\0')) && ok;
    if (!hasSize(scancodePath(), kScancodeTableSize)) {
        const bool usable = scancodeTable.size() == kScancodeTableSize;
        if (!usable)
            qCWarning(lcSim, "No base scancode table of %d bytes; the volume gets an empty one",
                      kScancodeTableSize);
        ok =
            writeNewFile(scancodePath(), usable ? scancodeTable : QByteArray(kScancodeTableSize, '\0')) && ok;
    }
    for (int display = 1; display <= kDisplayCount; ++display) {
        if (!hasSize(displayPath(display), kDisplayFileSize))
            ok = writeNewFile(displayPath(display), QByteArray(kDisplayFileSize, '\0')) && ok;
    }
    return ok;
}

bool SimulatedVolume::createFirmware(const QString &version, qint64 imageSize, bool replace) const
{
    bool ok = false;
    const double number = version.trimmed().toDouble(&ok);
    if (!ok || number < 0) {
        qCWarning(lcSim, "The firmware version %s is not a number", qUtf8Printable(version));
        return false;
    }
    const QByteArray text = versionText(number);
    if (imageSize < text.size()) {
        qCWarning(lcSim, "A firmware image of %lld bytes cannot hold its version",
                  static_cast<long long>(imageSize));
        return false;
    }
    if (!QDir().mkpath(volumeFolder())) {
        qCWarning(lcSim, "Cannot create %s", qUtf8Printable(volumeFolder()));
        return false;
    }
    bool written = true;
    if (replace || !QFileInfo(firmwareVersionPath()).isFile())
        written = writeNewFile(firmwareVersionPath(), text) && written;
    if (replace || !QFileInfo(firmwareImagePath()).isFile()) {
        QByteArray image(imageSize, '\0');
        image.replace(0, text.size(), text);
        written = writeNewFile(firmwareImagePath(), image) && written;
    }
    return written;
}

std::optional<QString> SimulatedVolume::firmwareVersion() const
{
    const double version = FirmwareVersion::read(firmwareVersionPath());
    if (version < 0)
        return std::nullopt;
    return QString::fromLatin1(versionText(version).mid(1));
}

bool SimulatedVolume::unplug() const
{
    if (!isMounted() || QFileInfo::exists(unpluggedFolder()) ||
        !QDir().rename(volumeFolder(), unpluggedFolder())) {
        qCWarning(lcSim, "Cannot unplug the keyboard at %s", qUtf8Printable(m_root));
        return false;
    }
    return true;
}

bool SimulatedVolume::plugIn(QString *installed) const
{
    const QString aside = unpluggedFolder();
    if (!QFileInfo(aside).isDir()) {
        qCWarning(lcSim, "The keyboard at %s is not unplugged", qUtf8Printable(m_root));
        return false;
    }
    // The keyboard installs what "upgrade.bin" holds when it carries a version; its own file keeps
    // the image, as a real keyboard's volume does.
    QFile image(aside + QStringLiteral("/upgrade.bin"));
    const double version = image.open(QIODevice::ReadOnly)
                               ? FirmwareVersion::fromBytes(image.read(FirmwareVersion::PrefixLength))
                               : FirmwareVersion::Missing;
    bool ok = true;
    if (version >= 0)
        ok = writeNewFile(aside + QStringLiteral("/version.sys"), versionText(version));
    else
        qCWarning(lcSim, "upgrade.bin carries no version; the keyboard keeps its firmware");
    if (!QDir().rename(aside, volumeFolder())) {
        qCWarning(lcSim, "Cannot plug the keyboard at %s in again", qUtf8Printable(m_root));
        return false;
    }
    if (installed)
        *installed = firmwareVersion().value_or(QString());
    return ok;
}

bool SimulatedVolume::reconnect(std::chrono::milliseconds unplugged) const
{
    if (!unplug())
        return false;
    std::this_thread::sleep_for(unplugged);
    return plugIn();
}

bool SimulatedVolume::isMounted() const
{
    return QFileInfo(volumeFolder()).isDir();
}

std::optional<QByteArray> SimulatedVolume::readDisplay(int display) const
{
    if (display < 1 || display > kDisplayCount)
        return std::nullopt;
    QFile file(displayPath(display));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte more than a picture tells a too long file from a complete one.
    QByteArray bytes = file.read(kDisplayFileSize + 1);
    if (bytes.size() != kDisplayFileSize)
        return std::nullopt;
    return bytes;
}

QByteArray SimulatedVolume::readLayout() const
{
    QFile file(layoutPath());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(kDisplayCount);
}

bool SimulatedVolume::isDriven(int display) const
{
    const QByteArray layout = readLayout();
    return display >= 1 && display <= layout.size() && layout[display - 1] != '\0';
}

bool SimulatedVolume::writeDisplay(int display, const QByteArray &bytes) const
{
    if (display < 1 || display > kDisplayCount || bytes.size() != kDisplayFileSize)
        return false;
    // The driver opens the display files without creating them; so does this.
    QFile file(displayPath(display));
    if (!file.exists()) {
        qCWarning(lcSim, "No display file %s", qUtf8Printable(file.fileName()));
        return false;
    }
    if (!file.open(QIODevice::ReadWrite) || !file.seek(0) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        qCWarning(lcSim, "Cannot write %s: %s", qUtf8Printable(file.fileName()),
                  qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace brevona
