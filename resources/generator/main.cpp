// Generates the keyboard's resource files from the hand-written keyboard table at build time.
//   brevona-resource-generator <keyboard.tsv> <linux/input-event-codes.h> <output folder>

#include <cstdio>

#include <QGuiApplication>
#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

#include "EvdevCodes.h"
#include "KeyTable.h"
#include "KeyboardArtist.h"
#include "PluginArtwork.h"
#include "PropertyList.h"
#include "ResourceFiles.h"
#include "ResourceTables.h"
#include "ScancodeTable.h"
#include "StoreNames.h"
#include "StockIcons.h"

using namespace brevona;

namespace {

bool fail(const QString &message)
{
    std::fprintf(stderr, "brevona-resource-generator: %s\n", qPrintable(message));
    return false;
}

int exitWithError(const QString &message)
{
    fail(message);
    return 1;
}

bool writePlist(const QString &path, const QVariantMap &value)
{
    return PropertyList::writeFile(path, value) || fail(QStringLiteral("cannot write %1").arg(path));
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    return exitWithError(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

// PNG, or TIFF with LZW compression (the layer pictures' format).
bool writeImage(const QString &path, const QImage &image)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    QImageWriter writer(&file, path.endsWith(QLatin1String(".tiff")) ? "tiff" : "png");
    if (path.endsWith(QLatin1String(".tiff")))
        writer.setCompression(1);
    if (writer.write(image) && file.commit())
        return true;
    return fail(QStringLiteral("cannot write %1: %2").arg(path, writer.errorString()));
}

} // namespace

int main(int argc, char **argv)
{
    // The stock pictures are drawn with a font, which needs a Gui application; no display is used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h"))) {
        std::printf("usage: %s <keyboard table> <input-event-codes.h> <output folder>\n",
                    qPrintable(args[0]));
        return 0;
    }
    if (args.size() != 4) {
        fail(QStringLiteral("usage: %1 <keyboard table> <input-event-codes.h> <output folder>")
                 .arg(args.value(0)));
        return 2;
    }

    QString error;
    auto table = KeyTable::readFile(args[1], &error);
    if (!table)
        return fail(QStringLiteral("%1: %2").arg(args[1], error));
    const auto evdev = EvdevCodes::readFile(args[2]);
    if (!evdev || evdev->size() == 0)
        return exitWithError(QStringLiteral("cannot read the evdev codes from %1").arg(args[2]));
    if (!table->resolveEvdevCodes([&](const QString &name) { return evdev->code(name); }, &error) ||
        !table->validate(&error))
        return exitWithError(QStringLiteral("%1: %2").arg(args[1], error));

    const QDir out(args[3]);
    if (!out.mkpath(storenames::BlackLayerId))
        return exitWithError(QStringLiteral("cannot create %1").arg(out.path()));
    const auto at = [&](const QString &name) { return out.filePath(name); };
    const auto inBlackLayer = [&](const QString &name) {
        return at(storenames::BlackLayerId + QLatin1Char('/') + name);
    };
    const KeyboardArtist artist(*table);

    const bool ok =
        writePlist(at(resourcefiles::ButtonData), ResourceTables::buttonInformation(*table)) &&
        writePlist(at(resourcefiles::Geometry), ResourceTables::geometry(*table)) &&
        writePlist(at(resourcefiles::UsageTable), ResourceTables::usageTable(*table)) &&
        writePlist(at(resourcefiles::VirtualKeyCodes), ResourceTables::virtualKeyCodes(*table)) &&
        writePlist(at(resourcefiles::DefaultLayerData), ResourceTables::defaultLayerData(*table)) &&
        writePlist(at(resourcefiles::OledNumbers), ResourceTables::oledNumbers(*table)) &&
        writePlist(at(resourcefiles::MiniPreview), ResourceTables::miniPreview(*table)) &&
        writePlist(inBlackLayer(storenames::LayerFile), ResourceTables::blackLayer(*table)) &&
        writeBytes(at(resourcefiles::ScancodeTable), ScancodeTable::build(*table)) &&
        writeImage(at(resourcefiles::WhiteKeyboard), artist.background(KeyboardArtist::Finish::White)) &&
        writeImage(at(resourcefiles::BlackKeyboard), artist.background(KeyboardArtist::Finish::Black)) &&
        writeImage(at(resourcefiles::DrawMask), artist.drawMask()) &&
        writeImage(at(resourcefiles::SmallPreview), artist.miniPreview()) &&
        writeImage(at(resourcefiles::LoadingPicture), KeyboardArtist::loadingPlaceholder()) &&
        writeImage(at(resourcefiles::IconLibrary), StockIcons::library()) &&
        writeImage(at(resourcefiles::PluginItemMask), PluginArtwork::itemMask()) &&
        writeImage(at(resourcefiles::UnknownPluginIcon), PluginArtwork::unknownIcon()) &&
        writeImage(inBlackLayer(storenames::PictureFile), KeyboardArtist::blackLayerPicture());
    return ok ? 0 : 1;
}
