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

TEST(SingleInstanceTest, TheNameIsFreeAgainWhenTheFirstEnds)
{
    {
        SingleInstance first;
        ASSERT_EQ(first.claim({}), SingleInstance::Role::First);
    }
    SingleInstance next;
    EXPECT_EQ(next.claim({}), SingleInstance::Role::First);
}

TEST(SingleInstanceTest, WithoutABusItRunsAlone)
{
    SingleInstance alone(QStringLiteral("unix:path=/nonexistent/bus"));
    EXPECT_EQ(alone.claim({"a.png"}), SingleInstance::Role::NoBus);
}

struct CommandLineRow
{
    const char *name;
    QStringList arguments;
    CommandLine::Action action;
    QStringList files;
    const char *textContains;
};

class CommandLineTest : public testing::TestWithParam<CommandLineRow>
{
};

TEST_P(CommandLineTest, Parses)
{
    const CommandLineRow &row = GetParam();
    const auto result = CommandLine::parse(QStringList{"brevona-configurator"} + row.arguments, "1.4.2");
    EXPECT_EQ(result.action, row.action);
    EXPECT_EQ(result.files, row.files);
    EXPECT_TRUE(result.text.contains(QLatin1String(row.textContains))) << result.text.toStdString();
}

using Action = CommandLine::Action;
INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineTest,
                         testing::Values(CommandLineRow{.name = "Nothing",
                                                        .arguments = {},
                                                        .action = Action::Run,
                                                        .files = {},
                                                        .textContains = ""},
                                         CommandLineRow{.name = "Files",
                                                        .arguments = {"a.layers", "b.png"},
                                                        .action = Action::Run,
                                                        .files = {"a.layers", "b.png"},
                                                        .textContains = ""},
                                         CommandLineRow{.name = "FileAfterDashes",
                                                        .arguments = {"--", "--odd.png"},
                                                        .action = Action::Run,
                                                        .files = {"--odd.png"},
                                                        .textContains = ""},
                                         CommandLineRow{.name = "Help",
                                                        .arguments = {"--help"},
                                                        .action = Action::Print,
                                                        .files = {},
                                                        .textContains = "--version"},
                                         CommandLineRow{.name = "Version",
                                                        .arguments = {"--version"},
                                                        .action = Action::Print,
                                                        .files = {},
                                                        .textContains = "brevona-configurator 1.4.2"},
                                         CommandLineRow{.name = "UnknownOption",
                                                        .arguments = {"--frobnicate"},
                                                        .action = Action::Invalid,
                                                        .files = {},
                                                        .textContains = "frobnicate"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace brevona::test
