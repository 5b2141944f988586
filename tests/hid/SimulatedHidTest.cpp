#include <memory>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeX11Session.h"
#include "HidTestSupport.h"
#include "IOHIDWatcher.h"
#include "NotificationNames.h"
#include "NotificationRecorder.h"
#include "SimulatedHidBackend.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;

namespace {

class SimulatedHidTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
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

    QTemporaryDir root;
    FakeX11Session session;
    std::unique_ptr<SimulatedHidBackend> backend;
    std::unique_ptr<IOHIDWatcher> watcher;
    test::NotificationRecorder recorder{{notifications::HidKeyDown, notifications::HidKeyUp,
                                         notifications::HidKeyDownSpecial, notifications::HidKeyUpSpecial},
                                        {"down", "up", "down*", "up*"}};
};

TEST_F(SimulatedHidTest, PluggedWhileTheVolumeFolderExists)
{
    EXPECT_FALSE(watcher->isKeyboardConnected());
    EXPECT_TRUE(backend->handleLine("down A").startsWith("error the simulated keyboard is unplugged"));
    ASSERT_TRUE(plug());
    ASSERT_TRUE(test::waitUntil([&] { return watcher->isKeyboardConnected(); }));
    EXPECT_NE(watcher->multimediaEntry(), 0u);
    EXPECT_EQ(backend->handleLine("down ShiftLeft"), "ok");
    EXPECT_TRUE(watcher->shiftState());
    ASSERT_TRUE(unplug());
    ASSERT_TRUE(test::waitUntil([&] { return !watcher->isKeyboardConnected(); }));
    EXPECT_FALSE(watcher->shiftState());
}

struct LineCase
{
    const char *name;
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
    EXPECT_EQ(recorder.entries(), GetParam().notifications);
}

// clang-format off
const LineCase kSimulatedHidLineRows[] = {
    {.name = "name", .line = "down A", .answerStart = "ok", .notifications = {"down A"}},
    {.name = "release", .line = "up A", .answerStart = "ok", .notifications = {"up A"}},
    {.name = "extra_spaces", .line = "down    CapsLock  ", .answerStart = "ok", .notifications = {"down CapsLock"}},
    {.name = "hex_usage", .line = "down 7:0x04", .answerStart = "ok", .notifications = {"down A"}},
    {.name = "multimedia_usage", .line = "down 12:0x18A", .answerStart = "ok", .notifications = {"down Mail*"}},
    {.name = "unnamed_usage", .line = "down 7:0x68", .answerStart = "ok", .notifications = {}},
    {.name = "unknown_name", .line = "down Hyper", .answerStart = "error unknown key Hyper", .notifications = {}},
    {.name = "usage_beyond_the_page", .line = "down 7:0x1234", .answerStart = "error the keyboard has no usage", .notifications = {}},
    {.name = "unknown_verb", .line = "press A", .answerStart = "error expected", .notifications = {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SimulatedHidLineTest, ::testing::ValuesIn(kSimulatedHidLineRows),
                         brevona::test::RowName());

TEST_F(SimulatedHidTest, NoAnswerWhereNoDriverListens)
{
    QTemporaryDir elsewhere;
    QString error;
    EXPECT_FALSE(SimulatedHidBackend::sendLine(elsewhere.path(), "down A", &error, 500));
    EXPECT_TRUE(error.contains("no driver is listening")) << error.toStdString();
}

TEST_F(SimulatedHidTest, TheSimulatorRefusesAnUnknownKey)
{
    ASSERT_TRUE(plug());
    backend->refresh();
    QProcess unknown;
    unknown.start(QStringLiteral(BREVONA_SIM_EXECUTABLE), {"press", "Hyper", root.path()});
    ASSERT_TRUE(unknown.waitForStarted());
    ASSERT_TRUE(
        test::waitUntil([&] { return unknown.state() == QProcess::NotRunning; }, std::chrono::seconds(20)));
    EXPECT_NE(unknown.exitCode(), 0);
    EXPECT_TRUE(unknown.readAllStandardError().contains("unknown key Hyper"));
}

} // namespace
