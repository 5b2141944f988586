// brevona-send's command line: the info it reads, its exit status and messages, and what reaches
// a driver.
#include <QDBusConnection>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "FakeDriver.h"
#include "NullMarker.h"
#include "PropertyList.h"
#include "SendCommandLine.h"

using namespace brevona;
using namespace brevona::test;

namespace {

struct Outcome
{
    int status;
    QString out;
    QString err;
};

Outcome runSend(const QStringList &arguments)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int status = SendCommandLine::run(arguments, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return {status, out, err};
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

const QByteArray ButtonsXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>LayerId</key><string>L</string>
  <key>Buttons</key><dict><key>A</key><dict>
    <key>DisplayPlugin</key><dict><key>$null</key><true/></dict>
    <key>Image</key><data>SUkqAA==</data>
    <key>Keep</key><dict><key>$null</key><true/><key>other</key><integer>1</integer></dict>
  </dict></dict>
  <key>Order</key><array><string>x</string><dict><key>$null</key><false/></dict></array>
</dict></plist>)";

TEST(SendCommandLineTest, InfoIsAPropertyListDictionaryWithNullMarkers)
{
    QString error;
    const auto info = SendCommandLine::parseInfo(ButtonsXml, &error);
    ASSERT_TRUE(info) << error.toStdString();
    const QVariantMap change = info->value("Buttons").toMap().value("A").toMap();
    EXPECT_TRUE(isNullMarker(change["DisplayPlugin"]));
    EXPECT_EQ(change["Image"].toByteArray(), QByteArray("II*\0", 4));
    // Only a dictionary whose single key is "$null" stands for the marker.
    EXPECT_EQ(change["Keep"].toMap().size(), 2);
    EXPECT_TRUE(isNullMarker(info->value("Order").toList().value(1)));

    // Binary property lists are read as well.
    const auto binary = PropertyList::toData(QVariantMap{{"LayerId", "L"}}, PropertyList::Format::Binary);
    ASSERT_TRUE(binary);
    EXPECT_EQ(SendCommandLine::parseInfo(*binary, &error), (QVariantMap{{"LayerId", "L"}}));

    const std::pair<QByteArray, const char *> bad[] = {
        {"<plist><dict><key>x</key>", "not a property list"},
        {"<plist version=\"1.0\"><array><string>x</string></array></plist>", "not a dictionary"},
    };
    for (const auto &[bytes, reason] : bad) {
        SCOPED_TRACE(bytes.toStdString());
        EXPECT_FALSE(SendCommandLine::parseInfo(bytes, &error));
        EXPECT_TRUE(error.contains(QLatin1String(reason))) << error.toStdString();
    }
}

TEST(SendCommandLineTest, BadArgumentsAndInfoExitWithTwo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notAPlist = writeFile(dir, "bad.plist", "hello");
    const QStringList cases[] = {{},
                                 {"ButtonsChanged", "a", "b"},
                                 {"--bogus"},
                                 {""},
                                 {"ButtonsChanged", dir.filePath("missing.plist")},
                                 {"ButtonsChanged", notAPlist}};
    for (const QStringList &arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Outcome outcome = runSend(arguments);
        EXPECT_EQ(outcome.status, SendCommandLine::UsageError);
        EXPECT_TRUE(outcome.err.startsWith("brevona-send: ")) << outcome.err.toStdString();
    }
    const Outcome help = runSend({"--help"});
    EXPECT_EQ(help.status, SendCommandLine::Success);
    EXPECT_TRUE(help.out.startsWith("Usage: brevona-send NAME [FILE|-]"));
}

TEST(SendCommandLineTest, SendsToTheDriverOrSaysThereIsNone)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = writeFile(dir, "info.plist", ButtonsXml);

    Outcome outcome = runSend({"ButtonsChanged", file});
    EXPECT_EQ(outcome.status, SendCommandLine::NotDelivered);
    EXPECT_EQ(outcome.err, "brevona-send: no driver owns brevona.kettlewood.com.server\n");

    FakeDriver driver(QStringLiteral("send-fake-driver"));
    ASSERT_TRUE(driver.own());
    outcome = runSend({"ButtonsChanged", file});
    EXPECT_EQ(outcome.status, SendCommandLine::Success) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.isEmpty());
    outcome = runSend({"ForceDeviceStop"});
    EXPECT_EQ(outcome.status, SendCommandLine::Success) << outcome.err.toStdString();
    // Deeper than the bus carries: refused before it is sent, with the reason on one line.
    QVariant deep = QStringLiteral("x");
    for (int i = 0; i < 40; ++i)
        deep = QVariantList{deep};
    const QString deepFile = writeFile(dir, "deep.plist", *PropertyList::toData(QVariantMap{{"X", deep}}));
    outcome = runSend({"Deep", deepFile});
    EXPECT_EQ(outcome.status, SendCommandLine::UsageError);
    EXPECT_EQ(outcome.err, "brevona-send: the info cannot be sent: values nested "
                           "deeper than the bus carries\n");
    ASSERT_TRUE(driver.waitForCommands(2));
    EXPECT_EQ(driver.received()[0].name, "ButtonsChanged");
    EXPECT_TRUE(isNullMarker(driver.received()[0].info["Buttons"].toMap()["A"].toMap()["DisplayPlugin"]));
    EXPECT_EQ(driver.received()[1].name, "ForceDeviceStop");
    EXPECT_TRUE(driver.received()[1].info.isEmpty());
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(driver.received().size(), 2);
}

} // namespace
