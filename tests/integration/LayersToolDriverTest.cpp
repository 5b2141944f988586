#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include "DriverSession.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;

namespace {

// brevona-layers edits a store the running driver serves: what only the two real programs
// together show is that each edit reaches the keyboard, over the session bus, in order.
class LayersToolDriverTest : public testing::Test
{
protected:
    void SetUp() override
    {
        session.store().group(QString(), {});
        ASSERT_TRUE(session.start()) << session.error().toStdString();
        QImage red(48, 48, QImage::Format_RGB32);
        red.fill(Qt::red);
        picture = QDir(session.home().path()).filePath(QStringLiteral("red.png"));
        ASSERT_TRUE(red.save(picture));
    }

    // Runs the tool in the session (its home, its bus) and gives its standard output.
    QString tool(const QStringList &arguments, int expectedStatus = 0, const QByteArray &input = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session.busAddress());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BREVONA_LAYERS_EXECUTABLE), arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), expectedStatus) << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    // The commands the driver received, in order, from its log.
    QStringList commands()
    {
        QStringList names;
        for (const QString &line : session.log().split(QLatin1Char('\n'))) {
            const qsizetype at = line.indexOf(QLatin1String("Command "));
            if (at >= 0)
                names.append(line.mid(at + 8).section(QLatin1Char(' '), 0, 0));
        }
        return names;
    }

    DriverSession session{DriverSession::Options{.plugins = QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR)}};
    QString picture;
};

TEST_F(LayersToolDriverTest, ScriptedEditsReachTheKeyboardInOrder)
{
    const QString layer =
        tool({QStringLiteral("new-layer"), QStringLiteral("--title"), QStringLiteral("Red")});
    ASSERT_FALSE(layer.isEmpty());
    tool({QStringLiteral("set-key"), QStringLiteral("Red"), QStringLiteral("A"), picture});
    EXPECT_TRUE(session.waitForColour(QStringLiteral("A"), Qt::red));

    tool({QStringLiteral("disable"), layer});
    EXPECT_TRUE(session.waitForColour(QStringLiteral("A"), Qt::black));

    // Undo within one run: the key goes and comes back, and the keyboard follows both.
    tool({QStringLiteral("--batch"), QStringLiteral("-")}, 0, "enable Red\nclear-key Red A\nundo\n");
    EXPECT_TRUE(session.waitForColour(QStringLiteral("A"), Qt::red));
    ASSERT_TRUE(session.waitForCommand(QStringLiteral("ButtonsChanged"), 1));
    EXPECT_EQ(commands(), (QStringList{"ItemCreated", "ButtonsChanged", "LayerVisibilityChanged",
                                       "LayerVisibilityChanged", "ButtonsDeleted", "ButtonsChanged"}));
}

// A display plugin set from the tool runs in the driver and draws on the key; a settings change
// from the tool reaches the running plugin.
TEST_F(LayersToolDriverTest, DisplayPluginFromTheToolDrawsAndFollowsItsSettings)
{
    ASSERT_FALSE(tool({"new-layer", "--title", "Clock"}).isEmpty());
    const auto shows = [&](const QColor &colour) {
        return waitUntil([&] {
            const auto picture = session.display(DriverSession::displayOf("A"));
            if (!picture)
                return false;
            for (int y = 0; y < picture->height(); ++y) {
                for (int x = 0; x < picture->width(); ++x) {
                    if (DriverSession::sameColour(picture->pixelColor(x, y), colour))
                        return true;
                }
            }
            return false;
        });
    };
    const QString clock = "brevona.display.general.clock";
    tool({"set-key", "Clock", "A", "--display", clock, "--setting", "color=#ff0000"});
    EXPECT_TRUE(shows(Qt::red));
    tool({"set-key", "Clock", "A", "--display", clock, "--setting", "color=#00ff00"});
    EXPECT_TRUE(shows(Qt::green));
}

// A preference the script changes reaches the keyboard through the driver: stored clamped, sent,
// and written by the driver into the keyboard's order file.
TEST_F(LayersToolDriverTest, PreferenceChangeReachesTheOrderFile)
{
    tool({QStringLiteral("prefs"), QStringLiteral("set"), QStringLiteral("KeyboardBrightness"),
          QStringLiteral("0")});
    const QString orderFile = QDir(session.volume().root()).filePath(QStringLiteral("vLumivox/order.sys"));
    const auto order = [&] {
        QFile file(orderFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    };
    EXPECT_TRUE(waitUntil([&] { return order().contains(QLatin1String("b001")); })) << order().toStdString();
    EXPECT_EQ(tool({QStringLiteral("prefs"), QStringLiteral("get"), QStringLiteral("KeyboardBrightness")}),
              QStringLiteral("1"));
}

} // namespace
