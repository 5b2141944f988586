#include "SimCommandLine.h"

#include <optional>

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>
#include <QTextStream>

#include "KeyboardData.h"
#include "KeyboardRenderer.h"
#include "KeyInjector.h"
#include "ResourceFiles.h"
#include "SimKeyboardLink.h"
#include "SimulatedHidBackend.h"
#include "SimulatedVolume.h"
#include "SimWindow.h"

namespace brevona {

namespace {

const QStringList kKeyCommands = {QStringLiteral("press"), QStringLiteral("release"), QStringLiteral("tap")};

const char kUsage[] =
    "usage: brevona-sim create [DIR] [--firmware-version VERSION] [--firmware-size BYTES]\n"
    "       brevona-sim render [DIR] OUT.png\n"
    "       brevona-sim watch [DIR]   (or: brevona-sim --watch [DIR])\n"
    "       brevona-sim press|release|tap KEY [DIR]\n"
    "       brevona-sim reconnect [DIR]   (the keyboard installs upgrade.bin and comes back)\n"
    "DIR defaults to $BREVONA_SIMULATED_KEYBOARD. In an X session a key pressed on the\n"
    "simulated keyboard (or clicked in the live view) is typed in the session too.\n"
    "options: --background black|white   --resources DIR (keyboard data set)   --help";

struct Options
{
    bool help = false;
    QString command;
    QStringList positional;
    QString background = QStringLiteral("black");
    QString resources;
    QString firmwareVersion;
    qint64 firmwareSize = 0; // 0: not given
};

std::optional<Options> parse(const QStringList &arguments, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption watch(QStringLiteral("watch"), QStringLiteral("Show the keyboard live."));
    const QCommandLineOption background(QStringLiteral("background"), QStringLiteral("black or white."),
                                        QStringLiteral("finish"), QStringLiteral("black"));
    const QCommandLineOption resources(QStringLiteral("resources"), QStringLiteral("Keyboard data folder."),
                                       QStringLiteral("folder"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show the usage."));
    const QCommandLineOption firmwareVersion(QStringLiteral("firmware-version"),
                                             QStringLiteral("The keyboard's firmware version."),
                                             QStringLiteral("version"));
    const QCommandLineOption firmwareSize(QStringLiteral("firmware-size"),
                                          QStringLiteral("The size of the keyboard's firmware image."),
                                          QStringLiteral("bytes"));
    parser.addOptions({watch, background, resources, help, firmwareVersion, firmwareSize});
    if (!parser.parse(QStringList{QStringLiteral("brevona-sim")} + arguments)) {
        err << "brevona-sim: " << parser.errorText() << Qt::endl;
        return std::nullopt;
    }
    Options options;
    options.help = parser.isSet(help);
    options.positional = parser.positionalArguments();
    if (parser.isSet(watch))
        options.command = QStringLiteral("watch");
    else if (!options.positional.isEmpty())
        options.command = options.positional.takeFirst();
    options.background = parser.value(background);
    options.resources = parser.value(resources);
    options.firmwareVersion = parser.value(firmwareVersion);
    if (parser.isSet(firmwareVersion)) {
        bool number = false;
        const double version = options.firmwareVersion.toDouble(&number);
        if (!number || version < 0) {
            err << "brevona-sim: --firmware-version is a number such as 1.05" << Qt::endl;
            return std::nullopt;
        }
    }
    if (parser.isSet(firmwareSize)) {
        bool number = false;
        options.firmwareSize = parser.value(firmwareSize).toLongLong(&number);
        if (!number || options.firmwareSize < 16 || options.firmwareSize > 64 * 1024 * 1024) {
            err << "brevona-sim: --firmware-size is a number of bytes from 16 to 67108864" << Qt::endl;
            return std::nullopt;
        }
    }
    if (options.background != QLatin1String("black") && options.background != QLatin1String("white")) {
        err << "brevona-sim: --background is black or white" << Qt::endl;
        return std::nullopt;
    }
    return options;
}

int usageError(QTextStream &err)
{
    err << kUsage << Qt::endl;
    return SimCommandLine::UsageError;
}

// The folder standing for the volume: given, else the variable the programs read.
std::optional<QString> volumeRoot(const QStringList &given, QTextStream &err)
{
    if (!given.isEmpty())
        return given.first();
    const QString fromEnvironment = qEnvironmentVariable("BREVONA_SIMULATED_KEYBOARD");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    err << "brevona-sim: no keyboard folder given and BREVONA_SIMULATED_KEYBOARD is not set" << Qt::endl;
    return std::nullopt;
}

std::optional<KeyboardData> keyboardData(const Options &options, QTextStream &err)
{
    const auto data = options.resources.isEmpty() ? std::optional(KeyboardData::shared())
                                                  : KeyboardData::load(options.resources);
    if (!data || data->isEmpty()) {
        err << "brevona-sim: the keyboard data set cannot be read"
            << " (give --resources or set BREVONA_RESOURCE_DIR to the generated resources folder)"
            << Qt::endl;
        return std::nullopt;
    }
    return data;
}

QImage backgroundOf(const KeyboardData &data, const Options &options)
{
    return QImage(data.filePath(options.background == QLatin1String("white") ? resourcefiles::WhiteKeyboard
                                                                             : resourcefiles::BlackKeyboard));
}

int create(const Options &options, QTextStream &out, QTextStream &err)
{
    if (options.positional.size() > 1)
        return usageError(err);
    const auto root = volumeRoot(options.positional, err);
    const auto data = root ? keyboardData(options, err) : std::nullopt;
    if (!data)
        return SimCommandLine::Failure;
    QFile base(data->filePath(resourcefiles::ScancodeTable));
    const QByteArray scancodes = base.open(QIODevice::ReadOnly) ? base.readAll() : QByteArray();
    const SimulatedVolume volume(*root);
    // Firmware files given on the command line replace the keyboard's; otherwise a keyboard made
    // earlier keeps its own.
    const bool replace = !options.firmwareVersion.isEmpty() || options.firmwareSize > 0;
    const QString version = options.firmwareVersion.isEmpty() ? SimulatedVolume::kDefaultFirmwareVersion
                                                              : options.firmwareVersion;
    const qint64 size =
        options.firmwareSize > 0 ? options.firmwareSize : SimulatedVolume::kDefaultFirmwareSize;
    if (!volume.create(scancodes) || !volume.createFirmware(version, size, replace)) {
        err << "brevona-sim: cannot create the keyboard volume in " << volume.root() << Qt::endl;
        return SimCommandLine::Failure;
    }
    out << volume.volumeFolder() << Qt::endl;
    return SimCommandLine::Success;
}

int render(const Options &options, QTextStream &out, QTextStream &err)
{
    if (options.positional.isEmpty() || options.positional.size() > 2)
        return usageError(err);
    const QString target = options.positional.last();
    const auto root = volumeRoot(options.positional.mid(0, options.positional.size() - 1), err);
    const auto data = root ? keyboardData(options, err) : std::nullopt;
    if (!data)
        return SimCommandLine::Failure;
    const SimulatedVolume volume(*root);
    if (!volume.isMounted())
        err << "brevona-sim: " << volume.volumeFolder() << " does not exist; drawing the keyboard unplugged"
            << Qt::endl;
    const QImage picture = KeyboardRenderer(*data, backgroundOf(*data, options)).render(volume);
    QSaveFile file(target);
    QImageWriter writer(&file, "png");
    if (!file.open(QIODevice::WriteOnly) || !writer.write(picture) || !file.commit()) {
        err << "brevona-sim: cannot write " << target << ": " << file.errorString() << Qt::endl;
        return SimCommandLine::Failure;
    }
    out << target << Qt::endl;
    return SimCommandLine::Success;
}

int watch(const Options &options, QTextStream &err)
{
    if (options.positional.size() > 1)
        return usageError(err);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        err << "brevona-sim: watch needs a window system" << Qt::endl;
        return SimCommandLine::Failure;
    }
    const auto root = volumeRoot(options.positional, err);
    const auto data = root ? keyboardData(options, err) : std::nullopt;
    if (!data)
        return SimCommandLine::Failure;
    SimWindow window(*data, SimulatedVolume(*root), backgroundOf(*data, options));
    window.show();
    return QApplication::exec();
}

// press/release/tap KEY [DIR]: the running driver's simulated keyboard takes the key through its
// socket in DIR and answers each line; the session gets the key through XTEST right after it.
int pressKey(const Options &options, QTextStream &out, QTextStream &err)
{
    if (options.positional.isEmpty() || options.positional.size() > 2)
        return usageError(err);
    const QString key = options.positional.first();
    const auto root = volumeRoot(options.positional.mid(1), err);
    if (!root)
        return SimCommandLine::Failure;
    // Without the data set the key still reaches the keyboard, only not the session.
    const KeyboardData data = options.resources.isEmpty()
                                  ? KeyboardData::shared()
                                  : KeyboardData::load(options.resources).value_or(KeyboardData());
    SimKeyboardLink link(*root, data, SimKeyboardLink::sessionInjector());
    QString error;
    if (!link.open(&error)) {
        err << "brevona-sim: " << error << Qt::endl;
        return SimCommandLine::Failure;
    }
    QList<bool> events;
    if (options.command != QLatin1String("release"))
        events << true;
    if (options.command != QLatin1String("press"))
        events << false;
    for (const bool down : events) {
        std::optional<QString> problem;
        if (!link.send(key, down, &error))
            problem = error;
        else
            problem = link.waitForAnswer();
        if (problem) {
            err << "brevona-sim: " << *problem << Qt::endl;
            return SimCommandLine::Failure;
        }
    }
    out << options.command << ' ' << key << Qt::endl;
    return SimCommandLine::Success;
}

// The keyboard takes the image written to it: unplugged long enough for the driver and the
// configurator (which look twice a second) to see it go, then back with the image's version.
int reconnect(const Options &options, QTextStream &out, QTextStream &err)
{
    if (options.positional.size() > 1)
        return usageError(err);
    const auto root = volumeRoot(options.positional, err);
    if (!root)
        return SimCommandLine::Failure;
    const SimulatedVolume volume(*root);
    if (!volume.isMounted()) {
        err << "brevona-sim: no keyboard is plugged in at " << volume.root() << Qt::endl;
        return SimCommandLine::Failure;
    }
    if (!volume.reconnect(std::chrono::milliseconds(1500))) {
        err << "brevona-sim: the keyboard at " << volume.root() << " did not take its firmware image"
            << Qt::endl;
        return SimCommandLine::Failure;
    }
    out << "firmware " << volume.firmwareVersion().value_or(QStringLiteral("unknown")) << Qt::endl;
    return SimCommandLine::Success;
}

} // namespace

bool SimCommandLine::wantsPictures(const QStringList &arguments)
{
    return !kKeyCommands.contains(arguments.value(0)) && arguments.value(0) != QLatin1String("reconnect");
}

bool SimCommandLine::wantsWindow(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--watch")) || arguments.value(0) == QLatin1String("watch");
}

int SimCommandLine::run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const auto options = parse(arguments, err);
    if (!options)
        return UsageError;
    if (options->help) {
        out << kUsage << Qt::endl;
        return Success;
    }
    if (options->command == QLatin1String("create"))
        return create(*options, out, err);
    if (options->command == QLatin1String("render"))
        return render(*options, out, err);
    if (options->command == QLatin1String("watch"))
        return watch(*options, err);
    if (kKeyCommands.contains(options->command))
        return pressKey(*options, out, err);
    if (options->command == QLatin1String("reconnect"))
        return reconnect(*options, out, err);
    return usageError(err);
}

} // namespace brevona
