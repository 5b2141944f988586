#include <future>
#include <memory>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeX11Session.h"
#include "HidTestSupport.h"
#include "IOHIDWatcher.h"
#include "SimulatedHidBackend.h"

using namespace brevona;

namespace {

class SimulatedHidTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::ensureApplication();
        ASSERT_TRUE(root.isValid());
        const HidUsageTable table = test::sampleUsageTable();
        backend = std::make_unique<SimulatedHidBackend>(
            root.path(), [table](const QString &name) { return table.usageForName(name); });
        watcher = IOHIDWatcher::create(*backend, table, session);
        ASSERT_TRUE(watcher);
    }
    void TearDown() override
    {
        watcher.reset();
        backend.reset();
    }
    bool plug() { return QDir(root.path()).mkdir("vLumivox"); }
    bool unplug() { return QDir(root.filePath("vLumivox")).removeRecursively(); }

    // The simulator's side of the socket, on another thread while this one runs the driver's loop.
    std::optional<QString> send(const QString &line, QString *error = nullptr)
    {
        auto answer = std::async(std::launch::async, [path = root.path(), line, error] {
            return SimulatedHidBackend::sendLine(path, line, error);
        });
        test::pumpUntil(
            [&] { return answer.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
        return answer.get();
    }

    QTemporaryDir root;
    FakeX11Session session;
    std::unique_ptr<SimulatedHidBackend> backend;
    std::unique_ptr<IOHIDWatcher> watcher;
    test::KeyNotificationRecorder recorder;
};

TEST_F(SimulatedHidTest, PluggedWhileTheVolumeFolderExists)
{
    EXPECT_FALSE(watcher->isKeyboardConnected());
    EXPECT_TRUE(backend->handleLine("down A").startsWith("error the simulated keyboard is unplugged"));
    ASSERT_TRUE(plug());
    ASSERT_TRUE(test::pumpUntil([&] { return watcher->isKeyboardConnected(); }));
    EXPECT_NE(watcher->multimediaEntry(), 0u);
    EXPECT_EQ(backend->handleLine("down ShiftLeft"), "ok");
    EXPECT_TRUE(watcher->shiftState());
    ASSERT_TRUE(unplug());
    ASSERT_TRUE(test::pumpUntil([&] { return !watcher->isKeyboardConnected(); }));
    EXPECT_FALSE(watcher->shiftState());
}

struct LineCase
{
    const char *description;
    const char *line;
    const char *answerStart;
    QStringList notifications;
};

class SimulatedHidLineTest : public SimulatedHidTest, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(SimulatedHidLineTest, AnswersAndReports)
{
    ASSERT_TRUE(plug());
    backend->refresh();
    const QString answer = backend->handleLine(GetParam().line);
    EXPECT_TRUE(answer.startsWith(GetParam().answerStart)) << answer.toStdString();
    EXPECT_EQ(recorder.events(), GetParam().notifications);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SimulatedHidLineTest,
    ::testing::Values(LineCase{"name", "down A", "ok", {"down A"}},
                      LineCase{"release", "up A", "ok", {"up A"}},
                      LineCase{"extra_spaces", "down    CapsLock  ", "ok", {"down CapsLock"}},
                      LineCase{"hex_usage", "down 7:0x04", "ok", {"down A"}},
                      LineCase{"application_key_by_name", "down App0", "ok", {"down App0"}},
                      LineCase{"multimedia_name", "down Word*", "ok", {"down Word*"}},
                      LineCase{"multimedia_usage", "down 12:0x18A", "ok", {"down Mail*"}},
                      LineCase{"unnamed_usage", "down 7:0x68", "ok", {}},
                      LineCase{"unknown_name", "down Hyper", "error unknown key Hyper", {}},
                      LineCase{
                          "usage_beyond_the_page", "down 7:0x1234", "error the keyboard has no usage", {}},
                      LineCase{"other_page", "down 1:0x81", "error the keyboard has no usage", {}},
                      LineCase{"no_key", "down", "error expected", {}},
                      LineCase{"unknown_verb", "press A", "error expected", {}},
                      LineCase{"empty", "", "error expected", {}}),
    [](const auto &info) { return std::string(info.param.description); });

TEST_F(SimulatedHidTest, KeysArriveThroughTheSocket)
{
    ASSERT_TRUE(plug());
    EXPECT_EQ(send("down App0"), "ok");
    EXPECT_EQ(send("up App0"), "ok");
    EXPECT_EQ(send("down Hyper"), "error unknown key Hyper");
    EXPECT_EQ(recorder.events(), (QStringList{"down App0", "up App0"}));
}

TEST_F(SimulatedHidTest, NoAnswerWhereNoDriverListens)
{
    QTemporaryDir elsewhere;
    QString error;
    EXPECT_FALSE(SimulatedHidBackend::sendLine(elsewhere.path(), "down A", &error, 500));
    EXPECT_TRUE(error.contains("no driver is listening")) << error.toStdString();
}

TEST_F(SimulatedHidTest, TheSimulatorTapsKeys)
{
    ASSERT_TRUE(plug());
    backend->refresh();
    QProcess sim;
    sim.start(QStringLiteral(BREVONA_SIM_EXECUTABLE), {"tap", "Word*", root.path()});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(
        test::pumpUntil([&] { return sim.state() == QProcess::NotRunning; }, std::chrono::seconds(20)));
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    EXPECT_EQ(recorder.events(), (QStringList{"down Word*", "up Word*"}));

    QProcess unknown;
    unknown.start(QStringLiteral(BREVONA_SIM_EXECUTABLE), {"press", "Hyper", root.path()});
    ASSERT_TRUE(unknown.waitForStarted());
    ASSERT_TRUE(
        test::pumpUntil([&] { return unknown.state() == QProcess::NotRunning; }, std::chrono::seconds(20)));
    EXPECT_NE(unknown.exitCode(), 0);
    EXPECT_TRUE(unknown.readAllStandardError().contains("unknown key Hyper"));
}

} // namespace
