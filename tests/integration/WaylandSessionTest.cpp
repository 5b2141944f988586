// The real driver in a Wayland session: under a headless sway with real Wayland windows, an
// application layer follows the window in front, as sway's IPC socket or the generic window list reports it,
// and the driver says in its log which backend serves each service.
#include <memory>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "DriverSession.h"
#include "HeadlessSway.h"
#include "StoreBuilder.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

struct BackendRow
{
    const char *name;
    const char *forced; // BREVONA_WAYLAND_BACKEND; empty: detected
    const char *logged; // the log line naming the backend of the applications
};

class WaylandSessionTest : public ::testing::TestWithParam<BackendRow>
{
protected:
    void SetUp() override
    {
        if (const auto reason = HeadlessSway::missing())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(sway.start()) << sway.error().toStdString();
        session = std::make_unique<DriverSession>();
        // The driver finds the compositor as a user's session shows it: no X display at all.
        session->home().setEnvironment("WAYLAND_DISPLAY",
                                       QDir(sway.runtimeDir()).filePath(sway.waylandDisplay()));
        session->home().setEnvironment("SWAYSOCK", sway.socketPath());
        session->home().setEnvironment("HYPRLAND_INSTANCE_SIGNATURE", std::nullopt);
        const QString forced = QLatin1String(GetParam().forced);
        session->home().setEnvironment("BREVONA_WAYLAND_BACKEND",
                                       forced.isEmpty() ? std::nullopt : std::optional(forced));
    }

    HeadlessSway sway;
    std::unique_ptr<DriverSession> session;
};

TEST_P(WaylandSessionTest, ApplicationLayerFollowsTheFocusedWindow)
{
    // The application's desktop entry is named after its app id, as an installed program's is.
    const QString applications = QDir(session->home().dataHome()).filePath(QStringLiteral("applications"));
    ASSERT_TRUE(QDir().mkpath(applications));
    QFile entry(QDir(applications).filePath(QStringLiteral("org.example.Beta.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Beta\nExec=/nonexistent/program\n");
    entry.close();
    session->store().group(QString(), {"Beta"});
    session->store().layer(
        "Beta", {{"Conditions", QVariantList{StoreBuilder::application("org.example.Beta", "isActive")}}});

    QProcess *other = sway.startWindow(QStringLiteral("brevona-other"));
    ASSERT_TRUE(other);
    ASSERT_TRUE(session->start()) << session->error().toStdString();
    const QStringList base{"(default)", "BlackLayer"};
    const auto composed = [&](const QStringList &expected) {
        return waitUntil([&] { return session->composition() == expected; }, 10s);
    };
    ASSERT_TRUE(composed(base)) << session->log().toStdString();
    EXPECT_EQ(session->logCount(QLatin1String(GetParam().logged)), 1) << session->log().toStdString();

    // A new window of the application comes to the front, then the other one, then it again.
    QProcess *beta = sway.startWindow(QStringLiteral("org.example.Beta"));
    ASSERT_TRUE(beta);
    EXPECT_TRUE(composed(base + QStringList{"Beta"})) << session->log().toStdString();
    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=brevona-other] focus")));
    EXPECT_TRUE(composed(base)) << session->log().toStdString();
    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=org.example.Beta] focus")));
    EXPECT_TRUE(composed(base + QStringList{"Beta"})) << session->log().toStdString();
    // Its window closes: the other one is in front.
    sway.stopWindow(beta);
    EXPECT_TRUE(composed(base)) << session->log().toStdString();
    // No X11 service is tried.
    EXPECT_EQ(session->logCount(QStringLiteral("X display")), 0);
}

// sway's own IPC socket, and the window list any wlroots compositor offers.
const BackendRow kBackendRows[] = {
    {"SwayIpc", "", "running and foreground applications from the sway backend"},
    {"WlrootsToplevels", "wlroots", "running and foreground applications from the wlroots (forced) backend"},
};

INSTANTIATE_TEST_SUITE_P(Rows, WaylandSessionTest, ::testing::ValuesIn(kBackendRows),
                         brevona::test::RowName());

} // namespace
