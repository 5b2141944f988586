// The simulated keyboard volume, the renderer and the command line of brevona-sim.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "FirmwareFiles.h"
#include "KeyboardData.h"
#include "KeyboardRenderer.h"
#include "Rgb565Codec.h"
#include "SimCommandLine.h"
#include "SimWindow.h"
#include "SimulatedHidBackend.h"
#include "SimulatedVolume.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using brevona::test::fileBytes;
using brevona::test::waitUntil;

namespace {

const QString kResources = QStringLiteral(BREVONA_BINARY_DIR "/resources");

const KeyboardData &keyboard()
{
    static const KeyboardData data = KeyboardData::load(kResources).value_or(KeyboardData());
    return data;
}

// A picture per display that tells displays and orientations apart: a colour from the display
// number, a white corner mark at the top-left and a stripe along the top edge.
QImage knownPicture(int display)
{
    QImage picture(48, 48, QImage::Format_RGB32);
    picture.fill(QColor::fromHsv((display * 37) % 360, 200, 60 + display));
    QPainter painter(&picture);
    painter.fillRect(0, 0, 12, 12, Qt::white);
    painter.fillRect(12, 0, 36, 4, QColor(255, 64, 0));
    return picture;
}

int largestChannelError(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

void setLayout(const SimulatedVolume &volume, char value)
{
    QFile layout(volume.layoutPath());
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly));
    layout.write(QByteArray(114, value));
}

class Simulator : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(keyboard().isEmpty()) << "generated resources missing";
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_volume.create(QByteArray(9216, '\x5A')));
    }

    QTemporaryDir m_dir;
    SimulatedVolume m_volume{m_dir.path()};
};

TEST_F(Simulator, CreatesAVolumeLikeAFreshKeyboard)
{
    EXPECT_TRUE(m_volume.isMounted());
    EXPECT_EQ(QFileInfo(m_volume.layoutPath()).size(), 114);
    EXPECT_EQ(QFileInfo(m_volume.scancodePath()).size(), 9216);
    for (int display = 1; display <= 114; ++display)
        ASSERT_EQ(m_volume.readDisplay(display), QByteArray(4608, '\0')) << display;
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("vLumivox/dynamic/001.sys")));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("vLumivox/dynamic/115.sys")));
    EXPECT_FALSE(m_volume.isDriven(1));
    QFile scancodes(m_volume.scancodePath());
    ASSERT_TRUE(scancodes.open(QIODevice::ReadOnly));
    EXPECT_EQ(scancodes.readAll(), QByteArray(9216, '\x5A'));
}

TEST_F(Simulator, CreatingAgainKeepsWhatTheDriverWrote)
{
    const QByteArray picture = Rgb565Codec::encode(knownPicture(5), false);
    ASSERT_TRUE(m_volume.writeDisplay(5, picture));
    setLayout(m_volume, 1);
    // A display file cut short is repaired; the rest stays.
    QFile::resize(m_volume.displayPath(6), 100);
    EXPECT_FALSE(m_volume.readDisplay(6));
    ASSERT_TRUE(m_volume.create(QByteArray()));
    EXPECT_EQ(m_volume.readDisplay(5), picture);
    EXPECT_EQ(m_volume.readDisplay(6), QByteArray(4608, '\0'));
    EXPECT_TRUE(m_volume.isDriven(114));
}

TEST_F(Simulator, WritesOnlyDisplayFilesThatExist)
{
    QFile::remove(m_volume.displayPath(7));
    EXPECT_FALSE(m_volume.writeDisplay(7, QByteArray(4608, '\0')));
    EXPECT_FALSE(QFileInfo::exists(m_volume.displayPath(7)));
    EXPECT_FALSE(m_volume.writeDisplay(0, QByteArray(4608, '\0')));
    EXPECT_FALSE(m_volume.writeDisplay(8, QByteArray(10, '\0')));
    EXPECT_FALSE(m_volume.readDisplay(115));
}

TEST_F(Simulator, TheKeyboardHasItsFirmwareFiles)
{
    ASSERT_TRUE(m_volume.createFirmware("1.05", 2048, true));
    EXPECT_EQ(fileBytes(m_volume.firmwareVersionPath()), "V1.05");
    const QByteArray image = fileBytes(m_volume.firmwareImagePath());
    EXPECT_EQ(image.size(), 2048);
    EXPECT_TRUE(image.startsWith("V1.05"));
    EXPECT_FALSE(m_volume.createFirmware("new", 2048, true));
    EXPECT_FALSE(m_volume.createFirmware("1", 1, true));
}

// An image with a version is installed by the command line's reconnect below.
TEST_F(Simulator, AnImageWithoutAVersionLeavesTheFirmwareAsItWas)
{
    ASSERT_TRUE(m_volume.createFirmware("1.05", 1024, true));
    {
        QFile image(m_volume.firmwareImagePath());
        ASSERT_TRUE(image.open(QIODevice::ReadWrite));
        image.write("garbage here");
    }
    ASSERT_TRUE(m_volume.unplug());
    EXPECT_FALSE(m_volume.isMounted());
    EXPECT_FALSE(m_volume.unplug());
    QString installed;
    EXPECT_TRUE(m_volume.plugIn(&installed));
    EXPECT_TRUE(m_volume.isMounted());
    EXPECT_EQ(installed, "1.05");
    EXPECT_EQ(QFileInfo(m_volume.firmwareImagePath()).size(), 1024);
    EXPECT_EQ(m_volume.readDisplay(1), QByteArray(4608, '\0'));
}

TEST_F(Simulator, RendersEveryDisplayUprightInItsCell)
{
    for (const KeyboardData::Key &key : keyboard().keys())
        ASSERT_TRUE(m_volume.writeDisplay(key.display,
                                          Rgb565Codec::encode(knownPicture(key.display), key.isTurned())));
    setLayout(m_volume, 1);
    const QImage background(kResources + "/LumivoxBrevonaBlack.png");
    const QImage rendered = KeyboardRenderer(keyboard(), background).render(m_volume);
    ASSERT_EQ(rendered.size(), QSize(1312, 376));
    for (const KeyboardData::Key &key : keyboard().keys()) {
        const QImage cell = rendered.copy(key.cell());
        EXPECT_LE(largestChannelError(cell, knownPicture(key.display)), 7) << key.name.toStdString();
    }
    // Outside the cells the keyboard background shows.
    EXPECT_EQ(rendered.pixel(2, 2),
              background.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(2, 2));
}

TEST_F(Simulator, DisplaysInTheKeyboardsOwnControlShowTheBuiltInPicture)
{
    const KeyboardData::Key *g = keyboard().key("G");
    ASSERT_TRUE(m_volume.writeDisplay(g->display, Rgb565Codec::encode(knownPicture(1), false)));
    QByteArray layout(114, '\1');
    layout[g->display - 1] = '\0';
    QFile file(m_volume.layoutPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(layout);
    file.close();
    const QImage rendered = KeyboardRenderer(keyboard(), QImage()).render(m_volume);
    EXPECT_EQ(rendered.copy(g->cell()), KeyboardRenderer::builtInPicture("G"));
}

TEST_F(Simulator, DamagedOrMissingDisplaysStayDark)
{
    setLayout(m_volume, 1);
    const KeyboardData::Key *h = keyboard().key("H");
    ASSERT_TRUE(m_volume.writeDisplay(h->display, Rgb565Codec::encode(knownPicture(2), false)));
    QFile::resize(m_volume.displayPath(h->display), 4000);
    const QImage white(kResources + "/LumivoxBrevonaWhite.png");
    const QImage rendered = KeyboardRenderer(keyboard(), white).render(m_volume);
    const QImage cell = rendered.copy(h->cell()).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(cell.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(cell.pixel(47, 47), qRgb(0, 0, 0));
    // An unplugged keyboard is just the background.
    QDir(m_volume.volumeFolder()).removeRecursively();
    EXPECT_EQ(KeyboardRenderer(keyboard(), white).render(m_volume),
              white.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST_F(Simulator, WindowFollowsDisplayChanges)
{
    setLayout(m_volume, 1);
    SimWindow window(keyboard(), m_volume, QImage());
    const KeyboardData::Key *f2 = keyboard().keyForDisplay(3);
    EXPECT_EQ(window.picture().pixel(f2->location), qRgb(0, 0, 0));
    // Written in place, as the driver does through its open handle.
    ASSERT_TRUE(m_volume.writeDisplay(3, Rgb565Codec::encode(knownPicture(3), true)));
    EXPECT_TRUE(waitUntil([&] { return window.picture().pixel(f2->location) == qRgb(255, 255, 255); }));
    // Unplugging and plugging in again is followed too.
    QDir(m_volume.volumeFolder()).removeRecursively();
    EXPECT_TRUE(waitUntil([&] { return window.picture().pixel(f2->location) == qRgb(0, 0, 0); }));
    ASSERT_TRUE(m_volume.create(QByteArray()));
    setLayout(m_volume, 1);
    ASSERT_TRUE(m_volume.writeDisplay(3, Rgb565Codec::encode(knownPicture(3), true)));
    EXPECT_TRUE(waitUntil([&] { return window.picture().pixel(f2->location) == qRgb(255, 255, 255); }));
}

TEST_F(Simulator, AKeyClickedInTheWindowIsHeldWhileTheButtonIsDown)
{
    // No session to type into here: only the keyboard gets the key.
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    // Stands for the driver's end of the simulated keyboard.
    QLocalServer driver;
    ASSERT_TRUE(driver.listen(SimulatedHidBackend::socketPath(m_dir.path())));
    QStringList lines;
    QObject::connect(&driver, &QLocalServer::newConnection, [&] {
        QLocalSocket *socket = driver.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, [socket, &lines] {
            while (socket->canReadLine()) {
                lines.append(QString::fromUtf8(socket->readLine()).trimmed());
                socket->write("ok\n");
            }
        });
    });
    SimWindow window(keyboard(), m_volume, QImage());
    window.resize(window.sizeHint());
    const QPoint a = keyboard().key("A")->cell().center();
    QTest::mousePress(&window, Qt::LeftButton, {}, a);
    EXPECT_TRUE(waitUntil([&] { return lines.size() == 1; }));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, a);
    EXPECT_TRUE(waitUntil([&] { return lines.size() == 2; }));
    EXPECT_EQ(lines, (QStringList{"down A", "up A"}));
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
}

// -- command line --------------------------------------------------------------------------------

struct RunResult
{
    int status;
    QString out, err;
};

RunResult runSim(QStringList arguments)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    arguments << "--resources" << kResources;
    const int status = SimCommandLine::run(arguments, outStream, errStream);
    return {status, out, err};
}

TEST_F(Simulator, CommandLineCreatesAndRenders)
{
    QTemporaryDir other;
    const QString root = other.filePath("keyboard");
    EXPECT_EQ(runSim({"create", root}).status, 0);
    QFile base(kResources + "/scancode.sys"), made(root + "/vLumivox/scancode.sys");
    ASSERT_TRUE(base.open(QIODevice::ReadOnly) && made.open(QIODevice::ReadOnly));
    EXPECT_EQ(made.readAll(), base.readAll());

    const QString png = other.filePath("keyboard.png");
    const RunResult rendered = runSim({"render", root, png, "--background", "white"});
    EXPECT_EQ(rendered.status, 0) << rendered.err.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(1312, 376));
}

TEST_F(Simulator, CommandLineMakesTheFirmwareFilesAndReconnects)
{
    QTemporaryDir other;
    const QString root = other.filePath("keyboard");
    const RunResult made = runSim({"create", root, "--firmware-version", "2.5", "--firmware-size", "1000"});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const SimulatedVolume volume(root);
    EXPECT_EQ(volume.firmwareVersion(), "2.5");
    EXPECT_EQ(QFileInfo(volume.firmwareImagePath()).size(), 1000);
    // Made again without the options: the keyboard keeps its firmware.
    ASSERT_EQ(runSim({"create", root}).status, 0);
    EXPECT_EQ(volume.firmwareVersion(), "2.5");
    {
        QFile image(volume.firmwareImagePath());
        ASSERT_TRUE(image.open(QIODevice::ReadWrite));
        image.write("V3.1");
    }
    const RunResult reconnected = runSim({"reconnect", root});
    EXPECT_EQ(reconnected.status, 0) << reconnected.err.toStdString();
    EXPECT_EQ(reconnected.out, "firmware 3.1\n");
    EXPECT_EQ(volume.firmwareVersion(), "3.1");
    EXPECT_TRUE(volume.isMounted());
}

TEST_F(Simulator, CommandLineTakesTheFolderFromTheEnvironment)
{
    qputenv("BREVONA_SIMULATED_KEYBOARD", m_dir.path().toUtf8());
    const QString png = m_dir.filePath("out.png");
    const RunResult rendered = runSim({"render", png});
    qunsetenv("BREVONA_SIMULATED_KEYBOARD");
    EXPECT_EQ(rendered.status, 0) << rendered.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(png));
    const RunResult missing = runSim({"create"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("BREVONA_SIMULATED_KEYBOARD"));
}

struct Refused
{
    const char *name;
    QStringList arguments;
    int status;
    const char *says;
};

class CommandLineRefuses : public testing::TestWithParam<Refused>
{
};

TEST_P(CommandLineRefuses, WithAOneLineReason)
{
    const RunResult result = runSim(GetParam().arguments);
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_TRUE(result.err.contains(QLatin1String(GetParam().says))) << result.err.toStdString();
}

// clang-format off
const Refused kCommandLineRefusesRows[] = {
    {.name = "UnknownCommand", .arguments = {"fly"}, .status = 2, .says = "usage"},
    {.name = "TooManyArguments", .arguments = {"render", "a", "b", "c"}, .status = 2, .says = "usage"},
    {.name = "UnknownBackground", .arguments = {"render", "/tmp/x", "o.png", "--background", "green"}, .status = 2, .says = "black or white"},
    {.name = "UnwritableFolder", .arguments = {"create", "/proc/no/such/place"}, .status = 1, .says = "cannot create"},
    {.name = "FirmwareVersionNoNumber", .arguments = {"create", "/tmp/x", "--firmware-version", "new"}, .status = 2, .says = "--firmware-version"},
    {.name = "FirmwareSizeTooSmall", .arguments = {"create", "/tmp/x", "--firmware-size", "4"}, .status = 2, .says = "--firmware-size"},
    {.name = "ReconnectUnplugged", .arguments = {"reconnect", "/proc/no/such/place"}, .status = 1, .says = "no keyboard is plugged in"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineRefuses, ::testing::ValuesIn(kCommandLineRefusesRows),
                         brevona::test::RowName());

class ProgramHelp : public testing::TestWithParam<const char *>
{
};

TEST_P(ProgramHelp, PrintsTheUsageAndSucceeds)
{
    QProcess program;
    program.start(QString::fromUtf8(GetParam()), {QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(QString::fromUtf8(program.readAllStandardOutput()).contains("usage", Qt::CaseInsensitive));
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramHelp,
                         testing::Values(BREVONA_DRIVER_EXECUTABLE, BREVONA_SIM_EXECUTABLE,
                                         BREVONA_SAMPLE_STORE_EXECUTABLE,
                                         BREVONA_RESOURCE_GENERATOR_EXECUTABLE),
                         [](const auto &info) {
                             std::string name =
                                 QFileInfo(QString::fromUtf8(info.param)).fileName().toStdString();
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
