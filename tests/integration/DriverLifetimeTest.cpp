// The driver as a process: it announces itself on the bus, ends cleanly however it is asked to and hands the
// displays back to the keyboard, and a newer driver of the user replaces an older one.
#include <signal.h>

#include <QDBusConnectionInterface>
#include <QProcess>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DriverSession.h"
#include "NotificationNames.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;

namespace {

enum class Ending
{
    Gdbus,
    Signal,
};

struct EndingRow
{
    const char *name;
    Ending ending;
    int signal = 0;
};

const EndingRow kEndings[] = {
    {.name = "TerminateFromGdbus", .ending = Ending::Gdbus},
    {.name = "Sigterm", .ending = Ending::Signal, .signal = SIGTERM},
    {.name = "Sigint", .ending = Ending::Signal, .signal = SIGINT},
};

bool end(DriverSession &session, const EndingRow &row)
{
    switch (row.ending) {
    case Ending::Gdbus:
        return session.gdbus(commands::Terminate);
    case Ending::Signal:
        return ::kill(static_cast<pid_t>(session.process().processId()), row.signal) == 0;
    }
    return false;
}

class DriverEndingTest : public ::testing::TestWithParam<EndingRow>
{
};

TEST_P(DriverEndingTest, EndsCleanlyAnnouncedAndWithTheDisplaysHandedBack)
{
    DriverSession session;
    ASSERT_TRUE(session.start()) << session.error().toStdString();
    ASSERT_TRUE(waitUntil([&] { return session.announcements(notifications::DriverLaunched) == 1; }));
    ASSERT_TRUE(end(session, GetParam())) << session.error().toStdString();
    ASSERT_TRUE(session.waitForExit());
    EXPECT_EQ(session.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(session.process().exitCode(), 0) << session.log().toStdString();
    EXPECT_TRUE(waitUntil([&] { return session.announcements(notifications::DriverTerminated) == 1; }));
    EXPECT_EQ(session.volume().readLayout(), QByteArray(114, '\0'));
}

INSTANTIATE_TEST_SUITE_P(Endings, DriverEndingTest, ::testing::ValuesIn(kEndings), RowName());

TEST(DriverInstanceTest, ANewerDriverKillsTheOlderOne)
{
    DriverSession session;
    ASSERT_TRUE(session.start()) << session.error().toStdString();
    const QString handBack = QStringLiteral("Wrote vLumivox/layout.sys");
    const int layoutWrites = session.logCount(handBack);

    QProcess newer;
    newer.setProcessChannelMode(QProcess::MergedChannels);
    newer.start(QStringLiteral(BREVONA_DRIVER_EXECUTABLE), {QStringLiteral("--verbose")});
    ASSERT_TRUE(session.waitForExit());
    QString newerLog;
    ASSERT_TRUE(waitUntil(
        [&] {
            newerLog += QString::fromUtf8(newer.readAll());
            return newerLog.contains(QLatin1String("Server started"));
        },
        std::chrono::seconds(20)))
        << newerLog.toStdString();
    // Killed outright: the older one hands no displays back and announces nothing (its writer may
    // still have logged a write it had queued).
    EXPECT_EQ(session.process().exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(session.logCount(handBack), layoutWrites);
    EXPECT_EQ(newerLog.count(QLatin1String("Previous instance of BrevonaDriver killed")), 1);
    EXPECT_TRUE(waitUntil([&] { return session.announcements(notifications::DriverLaunched) == 2; }));
    EXPECT_EQ(session.announcements(notifications::DriverTerminated), 0);
    EXPECT_TRUE(session.bus().interface()->isServiceRegistered(commands::ServiceName).value());
    EXPECT_TRUE(session.gdbus(commands::Terminate));
    EXPECT_TRUE(newer.waitForFinished(15000));
}

} // namespace
