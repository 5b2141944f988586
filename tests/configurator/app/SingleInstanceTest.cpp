#include <QDBusConnection>
#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "CommandLine.h"
#include "SingleInstance.h"

namespace brevona::test {
namespace {

TEST(SingleInstanceTest, ALaterStartHandsItsFilesToTheFirst)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
    SingleInstance first;
    QSignalSpy files(&first, &SingleInstance::filesReceived);
    QSignalSpy raise(&first, &SingleInstance::raiseRequested);
    ASSERT_EQ(first.claim({}), SingleInstance::Role::First);

    SingleInstance second;
    EXPECT_EQ(second.claim({"Sunset.png", "/abs/set.layers"}), SingleInstance::Role::HandedOver);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0][0].toStringList(),
              QStringList({QDir::current().absoluteFilePath("Sunset.png"), "/abs/set.layers"}));
    EXPECT_EQ(raise.size(), 1);

    // Without files the window is only raised.
    SingleInstance third;
    EXPECT_EQ(third.claim({}), SingleInstance::Role::HandedOver);
    EXPECT_EQ(files.size(), 1);
    EXPECT_EQ(raise.size(), 2);
}

TEST(SingleInstanceTest, WithoutABusItRunsAlone)
{
    SingleInstance alone(QStringLiteral("unix:path=/nonexistent/bus"));
    EXPECT_EQ(alone.claim({"a.png"}), SingleInstance::Role::NoBus);
}

struct CommandLineRow
{
    const char *name;
    QStringList args;
    CommandLine::Action action;
    const char *text = "";
    QStringList files = {};
};

class CommandLineTest : public testing::TestWithParam<CommandLineRow>
{
};

TEST_P(CommandLineTest, Parses)
{
    const CommandLineRow &row = GetParam();
    const auto result = CommandLine::parse(QStringList{"brevona-configurator"} + row.args, "1.4.2");
    EXPECT_EQ(result.action, row.action);
    EXPECT_EQ(result.files, row.files);
    EXPECT_TRUE(result.text.contains(QLatin1String(row.text))) << result.text.toStdString();
}

using Action = CommandLine::Action;
INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    testing::Values(
        CommandLineRow{
            .name = "Files", .args = {"a", "--", "-b"}, .action = Action::Run, .files = {"a", "-b"}},
        CommandLineRow{.name = "Help", .args = {"--help"}, .action = Action::Print, .text = "--version"},
        CommandLineRow{.name = "Version", .args = {"--version"}, .action = Action::Print, .text = "1.4.2"},
        CommandLineRow{.name = "Unknown", .args = {"--frob"}, .action = Action::Invalid, .text = "frob"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace brevona::test
