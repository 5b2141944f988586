// Malformed commands against the real driver: the failure messages of the command table, values
// of the wrong type at every key, huge and deeply nested infos, data where text belongs, and a
// flood of commands. The driver logs one line per rejected command, skips the recomposition of a
// failing one, and keeps running with the right state.
#include <iostream>

#include <QBuffer>
#include <QDBusConnection>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QImageWriter>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include "DBusPlist.h"
#include "DriverLink.h"
#include "DriverSession.h"
#include "KeyboardData.h"

using namespace brevona;
using namespace brevona::test;

namespace {

const QColor Black(0, 0, 0);
const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);

const QString Sentinel = QStringLiteral("Sentinel");

QVariantMap buttons(std::initializer_list<QString> keys)
{
    QVariantMap map;
    for (const QString &key : keys)
        map.insert(key, QVariantMap());
    return map;
}

QVariant nestedArrays(int depth)
{
    QVariant value = QStringLiteral("deep");
    for (int i = 0; i < depth; ++i)
        value = QVariantList{value};
    return value;
}

QString nestedGdbusArrays(int depth)
{
    QString value = QStringLiteral("'deep'");
    for (int i = 0; i < depth; ++i)
        value = QStringLiteral("[<%1>]").arg(value);
    return value;
}

class CommandRobustnessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(session.isValid());
        ASSERT_FALSE(KeyboardData::shared().isEmpty()) << "the keyboard data set is built before the tests";
        auto &store = session.store();
        store.group(QString(), {"L1", "G"});
        store.layer(QStringLiteral("L1"), {{"Buttons", buttons({"A"})}},
                    DriverSession::layerPicture({{"A", Red}}));
        store.group(QStringLiteral("G"), {"L2"});
        store.layer(QStringLiteral("G/L2"), {{"Buttons", buttons({"A"})}},
                    DriverSession::layerPicture({{"A", Green}}));
    }

    void start()
    {
        ASSERT_TRUE(session.start()) << session.driver().log().toStdString();
        link = std::make_unique<DriverLink>();
        ASSERT_TRUE(link);
        ASSERT_TRUE(link->setupDriverConnection());
        ASSERT_TRUE(session.waitForQuarters("A", uniform(Red)));
    }

    // Sends through the configurator's link and waits until the driver has taken the command.
    ::testing::AssertionResult post(const QString &command, const QVariantMap &info)
    {
        const int before = session.commandCount(command);
        const auto result = link->notifyDriverForCommand(command, info);
        if (result != DriverLink::SendResult::Sent)
            return ::testing::AssertionFailure() << "not sent: " << int(result);
        if (!session.waitForCommand(command, before))
            return ::testing::AssertionFailure() << "the driver did not take " << command.toStdString();
        return ::testing::AssertionSuccess();
    }

    // What the driver logged for a command sent by `send`, up to the sentinel command after it.
    template<typename Send> QString logOf(Send &&send)
    {
        const qsizetype mark = session.driver().log().size();
        send();
        const int sentinels = session.commandCount(Sentinel);
        if (link->notifyDriverForCommand(Sentinel, {}) != DriverLink::SendResult::Sent ||
            !session.waitForCommand(Sentinel, sentinels) || !waitForCompositionAfterLast(Sentinel))
            return QStringLiteral("<no sentinel>");
        const QString text = session.driver().log().mid(mark);
        // Up to the start of the sentinel's line.
        return text.left(
            text.lastIndexOf(QLatin1Char('\n'), text.indexOf(QStringLiteral("Command ") + Sentinel)) + 1);
    }

    // The recomposition that follows the last command of that name, so that the next text starts
    // after it.
    bool waitForCompositionAfterLast(const QString &command)
    {
        QDeadlineTimer deadline(15000);
        for (;;) {
            const QString text = session.driver().log();
            if (text.indexOf(QStringLiteral("Composition:"),
                             text.lastIndexOf(QStringLiteral("Command ") + command)) >= 0)
                return true;
            if (deadline.hasExpired())
                return false;
            session.driver().process().waitForReadyRead(20);
        }
    }

    // The driver's own log messages other than its progress lines (commands, compositions,
    // writes). Diagnostics of the libraries below it (Qt's image readers, libtiff) and the platform
    // services' start-up notes are not about the commands.
    static QStringList complaints(const QString &text)
    {
        static const QRegularExpression message(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d [\\d:.]+ brevona\\.driver\\."));
        static const QRegularExpression progress(
            QStringLiteral("(core: Command \\S+$|layers: Composition:|device: Wrote |layers: Loaded \\d+ "
                           "items|layers: Plugins: \\d+ signatures)"));
        QStringList result;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            if (message.match(line).hasMatch() && !progress.match(line).hasMatch())
                result.append(line);
        }
        return result;
    }

    DriverSession session;
    std::unique_ptr<DriverLink> link;
};

struct FailureCase
{
    const char *command;
    const char *info; // GVariant text for gdbus
    const char *message;
};

TEST_F(CommandRobustnessTest, FailingChecksLogTheirMessageAndSkipTheRecomposition)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const FailureCase cases[] = {
        {"LayersMoved", "{'GroupId': <'Nope'>, 'LayerIds': <['L1']>, 'ItemOrder': <['L1']>}",
         "LayersMoved command has illegal target group id"},
        {"LayersMoved", "{'GroupId': <'L1'>, 'LayerIds': <['L2']>, 'ItemOrder': <['L2']>}",
         "LayersMoved command has illegal target group id"},
        {"LayersMoved", "{'GroupId': <'G'>}", "LayersMoved command doesn't have layer ids"},
        {"LayersMoved", "{'GroupId': <'G'>, 'LayerIds': <5>, 'ItemOrder': <['L2']>}",
         "LayersMoved command doesn't have layer ids"},
        {"LayersMoved", "{'GroupId': <'G'>, 'LayerIds': <['L1']>}",
         "LayersMoved command doesn't have new item order"},
        {"GroupMoved", "{'GroupId': <'G'>}", "LayersMoved command doesn't have new item order"},
        {"LayersMoved", "{'GroupId': <'G'>, 'LayerIds': <['Ghost']>, 'ItemOrder': <['L2']>}",
         "layer with id='Ghost' not found"},
        {"LayersMoved", "{'GroupId': <'G'>, 'LayerIds': <['G']>, 'ItemOrder': <['G', 'L2']>}",
         "LayersMoved command would put group 'G' inside itself"},
        {"LayersMoved", "{'GroupId': <'G'>, 'LayerIds': <['Layers']>, 'ItemOrder': <['Layers', 'L2']>}",
         "LayersMoved command would put group 'Layers' inside itself"},
        {"ItemsDeleted", "{}", "illegal LayersDeleted params: "},
        {"ItemsDeleted", "{'ItemIds': <'L1'>}", "illegal LayersDeleted params: "},
        {"ButtonsMoved", "{'SourceLayer': <'Nope'>, 'TargetLayer': <'L1'>, 'Buttons': <{'A': <'B'>}>}",
         "buttons moved from non-existing layer"},
        {"ButtonsMoved", "{'SourceLayer': <'L1'>, 'TargetLayer': <'G'>, 'Buttons': <{'A': <'B'>}>}",
         "buttons moved to non-existing layer"},
        {"LayerVisibilityChanged", "{'Enabled': <false>}",
         "LayerVisibilityChanged params doesn't have LayerId"},
        {"LayerVisibilityChanged", "{'LayerId': <b'L1'>, 'Enabled': <false>}",
         "LayerVisibilityChanged params doesn't have LayerId"},
        {"LayerConditionsChanged", "{'Conditions': <@av []>}",
         "LayerConditionsChanged params doesn't have LayerId"},
        {"LayerConditionsChanged", "{'LayerId': <'L1'>}",
         "LayerConditionsChanged params doesn't have conditions"},
        {"LayerConditionsChanged", "{'LayerId': <'L1'>, 'Conditions': <[<{'Settings': <@a{sv} {}>}>]>}",
         "Illegal condition type"},
        {"ChangeBrightness", "{}", "ChangeBrightness command doesn't have a numeric Value"},
        {"ChangeSleepTimeout", "{'Value': <'60'>}",
         "ChangeSleepTimeout command doesn't have a numeric Value"},
        {"ItemCreated", "{'GroupId': <'Layers'>, 'ItemId': <'../L1'>, 'ItemOrder': <['L1']>}",
         "ItemCreated command has an illegal item id"},
        {"Odd", "{'X': <objectpath '/a'>}", "Command Odd dropped: its info holds"},
        {"Odd", "{'X': <@ao ['/a']>}", "Command Odd dropped: its info holds a value of type QDBusObjectPath"},
        {"Odd", "{'X': <(1, 2)>}", "Command Odd dropped: its info holds a structure"},
        {"Odd", "{'X': <@a{is} {1: 'one'}>}",
         "Command Odd dropped: its info holds a dictionary key that is not a string"},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.info);
        const QString text =
            logOf([&] { ASSERT_TRUE(session.gdbus(QLatin1String(c.command), QLatin1String(c.info))); });
        EXPECT_EQ(text.count(QLatin1String(c.message)), 1) << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1String("Composition:"))) << text.toStdString();
        EXPECT_EQ(complaints(text).size(), 1) << text.toStdString();
    }
    EXPECT_TRUE(session.waitForQuarters("A", uniform(Red)));

    // What was applied before the failing check stays: L1 has left the root, though the target's
    // order never named it. The keyboard shows that only with the next recomposition.
    const QString text = logOf([&] {
        ASSERT_TRUE(session.gdbus(
            "LayersMoved", "{'GroupId': <'G'>, 'LayerIds': <['L1', 'Ghost']>, 'ItemOrder': <['L1', 'L2']>}"));
        EXPECT_TRUE(session.driver().waitForLog(QStringLiteral("layer with id='Ghost' not found")));
        QThread::msleep(200); // what the writer would still do
        EXPECT_TRUE(session.waitForQuarters("A", uniform(Red), 0));
    });
    EXPECT_FALSE(text.contains(QLatin1String("Composition:")));
    EXPECT_TRUE(session.waitForQuarters("A", uniform(Green)));
}

struct WrongCase
{
    const char *command;
    QVariantMap info;
};

TEST_F(CommandRobustnessTest, WrongTypesAtAnyKeyAreSkippedWithOneLine)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const QByteArray notUtf8("\xff\xfe\x4c\x31", 4);
    const QVariantMap entry{{"A", QVariantMap()}};
    const std::vector<WrongCase> cases = {
        {"ItemCreated", {{"GroupId", 5}, {"ItemId", "X"}}},
        {"ItemCreated", {{"GroupId", "Layers"}, {"ItemId", notUtf8}}},
        {"ItemCreated", {{"GroupId", "Layers"}, {"ItemId", QVariantList{"X"}}}},
        {"ItemsDeleted", {{"ItemIds", QVariantList{1, 2}}}},
        {"ItemsDeleted", {{"ItemIds", QVariantMap{{"L1", true}}}}},
        {"LayersMoved",
         {{"GroupId", QVariantList{"G"}},
          {"LayerIds", QVariantList{"L1"}},
          {"ItemOrder", QVariantList{"L1"}}}},
        {"LayersMoved",
         {{"GroupId", "G"}, {"LayerIds", QVariantList{"L1", 7}}, {"ItemOrder", QVariantList{"L1"}}}},
        {"LayersMoved", {{"GroupId", "G"}, {"LayerIds", QVariantList{"L1"}}, {"ItemOrder", "L1"}}},
        {"GroupMoved", {{"ItemOrder", QVariantMap{{"L1", 1}}}}},
        {"GroupMoved", {{"ItemOrder", QVariantList{notUtf8}}}},
        // An order that names the group itself: it contributes nothing, and nothing recurses.
        {"GroupMoved", {{"ItemOrder", QVariantList{"Layers", "L1", "G"}}}},
        {"RefreshLayer", {{"LayerId", 5}}},
        {"LayerVisibilityChanged", {{"LayerId", "L1"}, {"Enabled", "no"}}},
        {"LayerVisibilityChanged", {{"LayerId", "L1"}, {"Enabled", QDateTime::currentDateTimeUtc()}}},
        {"LayerVisibilityChanged", {{"LayerId", notUtf8}, {"Enabled", false}}},
        {"LayerConditionsChanged", {{"LayerId", "L1"}, {"Conditions", "x"}}},
        {"LayerConditionsChanged", {{"LayerId", "L1"}, {"Conditions", QVariantList{"x", 5}}}},
        {"LayerConditionsChanged", {{"LayerId", QVariantMap()}, {"Conditions", QVariantList()}}},
        {"LayerHybridStateChanged", {{"LayerId", "L1"}, {"Hybrid", "yes"}}},
        {"LayerHybridStateChanged", {{"LayerId", QVariantList()}, {"Hybrid", true}}},
        {"HybridSetupChanged", {{"Zones", "Layer Image"}}},
        {"HybridSetupChanged", {{"Zones", QVariantList{1, 2, 3, 4}}}},
        {"ButtonsChanged", {{"LayerId", "L1"}, {"Buttons", "A"}}},
        {"ButtonsChanged", {{"LayerId", "L1"}, {"Buttons", QVariantMap{{"A", "x"}, {"B", 5}}}}},
        {"ButtonsChanged",
         {{"LayerId", "L1"}, {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", "a picture"}}}}}}},
        {"ButtonsChanged",
         {{"LayerId", "L1"}, {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", notUtf8}}}}}}},
        {"ButtonsChanged",
         {{"LayerId", "L1"},
          {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", DriverSession::tiff(Green).left(60)}}}}}}},
        {"ButtonsChanged",
         {{"LayerId", "L1"},
          {"Buttons", QVariantMap{{"A", QVariantMap{{"ActionPlugin", QVariantMap{{"Signature", 5}}}}}}}}},
        {"ButtonsChanged",
         {{"LayerId", "L1"},
          {"Buttons",
           QVariantMap{{"A", QVariantMap{{"ActionPlugin", QVariantMap{{"Signature", "no.such.plugin"}}}}}}}}},
        {"ButtonsDeleted", {{"LayerId", "L1"}, {"Buttons", "A"}}},
        {"ButtonsDeleted", {{"LayerId", "L1"}, {"Buttons", QVariantList{5, notUtf8, QVariantMap()}}}},
        {"ButtonsMoved", {{"SourceLayer", "L1"}, {"TargetLayer", "L2"}, {"Buttons", QVariantList{"A"}}}},
        {"ButtonsMoved", {{"SourceLayer", "L1"}, {"TargetLayer", "L2"}, {"Buttons", QVariantMap{{"A", 5}}}}},
        {"ButtonsMoved",
         {{"SourceLayer", "L1"}, {"TargetLayer", "L2"}, {"Buttons", QVariantMap{{"A", "NoSuchKey"}}}}},
        {"ButtonsMoved", {{"SourceLayer", notUtf8}, {"TargetLayer", "L2"}, {"Buttons", entry}}},
        {"PluginSettings", {{"LayerId", "L1"}, {"Buttons", "A"}}},
        {"PluginSettings", {{"LayerId", "L1"}, {"Buttons", QVariantMap{{"A", "x"}}}}},
        {"PluginSettings",
         {{"LayerId", "L1"}, {"Buttons", QVariantMap{{"A", QVariantMap{{"DisplayPlugin", "x"}}}}}}},
        {"ChangeBrightness", {{"Value", QVariantList{50}}}},
        {"ChangeBrightness", {{"Value", QByteArray("50")}, {"Auto", true}}},
        {"ChangeSleepTimeout", {{"Value", QVariantMap()}}},
    };
    for (const WrongCase &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + QDebug::toString(c.info).toStdString());
        const QString text = logOf([&] { ASSERT_TRUE(post(QLatin1String(c.command), c.info)); });
        EXPECT_LE(complaints(text).size(), 1) << text.toStdString();
    }
    EXPECT_EQ(session.driver().process().state(), QProcess::Running);
    EXPECT_TRUE(session.waitForQuarters("A", uniform(Red)));

    // Huge arrays and dictionaries: one line at most for the lot.
    QVariantList manyIds;
    QVariantMap manyKeys;
    for (int i = 0; i < 200000; ++i)
        manyIds.append(QStringLiteral("Ghost%1").arg(i));
    for (int i = 0; i < 20000; ++i)
        manyKeys.insert(QStringLiteral("Key%1").arg(i), QVariantMap{{"Image", QByteArray("x")}});
    QString text = logOf([&] { ASSERT_TRUE(post("ItemsDeleted", {{"ItemIds", manyIds}})); });
    EXPECT_TRUE(complaints(text).isEmpty()) << text.left(2000).toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Composition:")));
    text = logOf([&] { ASSERT_TRUE(post("ButtonsChanged", {{"LayerId", "L1"}, {"Buttons", manyKeys}})); });
    EXPECT_EQ(complaints(text).size(), 1) << text.left(2000).toStdString();
    text = logOf([&] { ASSERT_TRUE(post("PluginSettings", {{"LayerId", "L1"}, {"Buttons", manyKeys}})); });
    EXPECT_EQ(complaints(text).size(), 11) << text.left(4000).toStdString();

    // A picture that claims to be huge is refused before it is decoded.
    QImage wide(5000, 4, QImage::Format_RGB32);
    wide.fill(Green);
    QByteArray wideTiff;
    QBuffer buffer(&wideTiff);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "tiff").write(wide);
    text = logOf([&] {
        ASSERT_TRUE(
            post("ButtonsChanged",
                 {{"LayerId", "L1"}, {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", wideTiff}}}}}}));
    });
    EXPECT_TRUE(text.contains(QLatin1String("too large"))) << text.toStdString();

    // As deep as the bus carries, the command arrives; deeper, the bus itself refuses it and the
    // sending side says so before it loses its connection.
    text = logOf([&] { ASSERT_TRUE(post("Deep", {{"X", nestedArrays(30)}})); });
    EXPECT_TRUE(complaints(text).isEmpty()) << text.toStdString();
    EXPECT_EQ(link->notifyDriverForCommand("Deep", {{"X", nestedArrays(31)}}),
              DriverLink::SendResult::Rejected);
    EXPECT_FALSE(gdbusNotify("Deep", QStringLiteral("{'X': <%1>}").arg(nestedGdbusArrays(40))));

    EXPECT_EQ(session.driver().process().state(), QProcess::Running);
    EXPECT_TRUE(session.waitForQuarters("A", uniform(Red)));
    ASSERT_TRUE(post("LayerVisibilityChanged", {{"LayerId", "L1"}, {"Enabled", false}}));
    EXPECT_TRUE(session.waitForQuarters("A", uniform(Green)));
}

} // namespace
