// Edits from the shell in a real X11 session: an application condition makes the real driver switch
// layers when that application comes to the front, and a font change of the input language's layer
// reaches the keyboard; each time the tool's one command reaches the driver, which follows it
// without rereading the store.
#include <memory>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include "DriverSession.h"
#include "Wait.h"
#include "XvfbTest.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

class ConditionsToolSession : public XvfbTest
{
public:
    static void SetUpTestSuite()
    {
        startServer({.windowManager = true, .tools = {"xdotool", "xmessage", "setxkbmap"}});
    }

protected:
    void SetUp() override
    {
        XvfbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session = std::make_unique<DriverSession>(DriverSession::Options{.display = display()});
    }

    int tool(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session->busAddress());
        // The session's input languages, as the configurator sees them.
        environment.insert(QStringLiteral("DISPLAY"), display());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), session->home().dataHome());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BREVONA_LAYERS_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.exitCode();
    }

    std::unique_ptr<DriverSession> session;
};

TEST_F(ConditionsToolSession, ApplicationConditionFromTheShellSwitchesLayers)
{
    // The application's desktop entry names its window class, as an installed program's does.
    const QString applications = QDir(session->home().dataHome()).filePath(QStringLiteral("applications"));
    ASSERT_TRUE(QDir().mkpath(applications));
    QFile entry(QDir(applications).filePath(QStringLiteral("org.example.Beta.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Beta\nExec=/nonexistent/program\n"
                "StartupWMClass=brevona-beta\n");
    entry.close();
    session->store().group(QString(), {"Beta"});
    session->store().layer("Beta");
    ASSERT_TRUE(session->start()) << session->error().toStdString();
    const QStringList base{"(default)", "BlackLayer"};
    const auto composed = [&](const QStringList &expected) {
        return waitUntil([&] { return session->composition() == expected; }, 10s);
    };
    ASSERT_TRUE(composed(base + QStringList{"Beta"})) << session->log().toStdString();

    const QString beta = window("brevona-beta");
    const QString other = window("brevona-other");
    ASSERT_FALSE(beta.isEmpty() || other.isEmpty());
    ASSERT_TRUE(server().run("xdotool", {"windowactivate", "--sync", other}));
    ASSERT_EQ(tool({"conditions", "Beta", "add", "application", "org.example.Beta", "isActive"}), 0);
    EXPECT_TRUE(composed(base)) << session->log().toStdString();
    ASSERT_TRUE(server().run("xdotool", {"windowactivate", "--sync", beta}));
    EXPECT_TRUE(composed(base + QStringList{"Beta"})) << session->log().toStdString();
    EXPECT_EQ(session->commandCount(QStringLiteral("LayerConditionsChanged")), 1);
}

TEST_F(ConditionsToolSession, AFontChangeFromTheShellReachesTheKeyboard)
{
    ASSERT_TRUE(server().run("setxkbmap", {"-layout", "us"}));
    session->store().group(QString(), {});
    // The language layers' pictures exist before the driver starts, as after the configurator's
    // first start.
    ASSERT_EQ(tool({"repair"}), 0);
    ASSERT_TRUE(session->start()) << session->error().toStdString();
    const auto shows = [&](const QString &key, const QColor &colour) {
        return waitUntil([&] {
            const auto picture = session->display(DriverSession::displayOf(key));
            return picture && DriverSession::sameColour(picture->pixelColor(1, 1), colour);
        });
    };
    ASSERT_TRUE(shows("Q", Qt::black)) << session->log().toStdString();

    ASSERT_EQ(tool({"font", "us", "--keys", "Q", "--background", "#0000ff"}), 0);
    EXPECT_TRUE(shows("Q", Qt::blue)) << session->log().toStdString();
    EXPECT_TRUE(shows("W", Qt::black));
    EXPECT_EQ(session->commandCount(QStringLiteral("ButtonsChanged")), 1);
}

} // namespace
