// Every command of the configurator's table, sent to the real driver by brevona-send or by gdbus,
// checked on the simulated keyboard's display files and on the driver's log.
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include "DriverSession.h"
#include "KeyboardData.h"
#include "NullMarker.h"

using namespace brevona;
using namespace brevona::test;

namespace {

const QColor Black(0, 0, 0);
const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);
const QColor Blue(0, 0, 255);
const QColor Yellow(255, 255, 0);
const QColor Magenta(255, 0, 255);
const QColor Cyan(0, 255, 255);
const QColor White(255, 255, 255);

QVariantMap buttons(std::initializer_list<QString> keys)
{
    QVariantMap map;
    for (const QString &key : keys)
        map.insert(key, QVariantMap());
    return map;
}

// The GVariant text of a byte array, for gdbus.
QString gdbusBytes(const QByteArray &bytes)
{
    QStringList values;
    for (char byte : bytes)
        values.append(QString::number(static_cast<unsigned char>(byte)));
    return QStringLiteral("@ay [") + values.join(QStringLiteral(", ")) + QLatin1Char(']');
}

class CommandEffectsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(session.isValid());
        ASSERT_FALSE(KeyboardData::shared().isEmpty()) << "the keyboard data set is built before the tests";
    }

    void start() { ASSERT_TRUE(session.start()) << session.driver().log().toStdString(); }

    ::testing::AssertionResult shows(const QString &key, const Quarters &expected)
    {
        if (session.waitForQuarters(key, expected))
            return ::testing::AssertionSuccess();
        const auto shown = session.quarters(key);
        return ::testing::AssertionFailure()
               << key.toStdString() << " shows "
               << (shown ? DriverSession::describe(*shown).toStdString() : "nothing") << ", expected "
               << DriverSession::describe(expected).toStdString();
    }
    ::testing::AssertionResult shows(const QString &key, const QColor &colour)
    {
        return shows(key, uniform(colour));
    }

    bool waitForComposition(int before)
    {
        return session.driver().waitForLog(QStringLiteral("Composition:"), 15000, before + 1);
    }

    QString orderFile()
    {
        return QDir(session.volume().volumeFolder()).filePath(QStringLiteral("order.sys"));
    }
    QByteArray order()
    {
        QFile file(orderFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    DriverSession session;
};

TEST_F(CommandEffectsTest, ButtonsChangedSetsPicturesAndPlugins)
{
    session.store().group(QString(), {"L"});
    session.store().layer(
        QStringLiteral("L"),
        {{"Buttons", QVariantMap{{"A", QVariantMap{{"DisplayPlugin", DriverSession::probe(Red)}}}}}});
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(shows("A", Red));
    const QString noPlugin = QStringLiteral("illegal plugin settings for button A");
    const QVariantMap blueSetting{
        {"LayerId", "L"},
        {"Buttons", QVariantMap{{"A", QVariantMap{{"DisplayPlugin", QVariantMap{{"color", "#0000ff"}}}}}}}};

    // A picture replaces the display plugin.
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{{"LayerId", "L"},
                    {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", DriverSession::tiff(Green)}}}}}}));
    EXPECT_TRUE(shows("A", Green));
    ASSERT_TRUE(session.send("PluginSettings", blueSetting));
    EXPECT_EQ(session.driver().logCount(noPlugin), 1);

    // A plugin entry brings one back.
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{
            {"LayerId", "L"},
            {"Buttons", QVariantMap{{"A", QVariantMap{{"DisplayPlugin", DriverSession::probe(Blue)}}}}}}));
    EXPECT_TRUE(shows("A", Blue));
    ASSERT_TRUE(session.send("PluginSettings", blueSetting));
    EXPECT_EQ(session.driver().logCount(noPlugin), 1);

    // The null marker removes it; the key keeps what it shows.
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{{"LayerId", "L"},
                    {"Buttons", QVariantMap{{"A", QVariantMap{{"DisplayPlugin", nullMarker()}}}}}}));
    ASSERT_TRUE(session.send("PluginSettings", blueSetting));
    EXPECT_EQ(session.driver().logCount(noPlugin), 2);
    EXPECT_TRUE(shows("A", Blue));

    // "Image" together with "DisplayPlugin": the picture, scaled to the key, and no plugin.
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{
            {"LayerId", "L"},
            {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", DriverSession::tiff(Yellow, 96)},
                                                      {"DisplayPlugin", DriverSession::probe(Red)}}}}}}));
    EXPECT_TRUE(shows("A", Yellow));
    ASSERT_TRUE(session.send("PluginSettings", blueSetting));
    EXPECT_EQ(session.driver().logCount(noPlugin), 3);

    // A key the layer does not define is created, then changed; a name the keyboard lacks is not.
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{
            {"LayerId", "L"},
            {"Buttons", QVariantMap{{"B", QVariantMap{{"Image", DriverSession::tiff(Magenta)}}},
                                    {"NoSuchKey", QVariantMap{{"Image", DriverSession::tiff(Cyan)}}}}}}));
    EXPECT_TRUE(shows("B", Magenta));
    EXPECT_TRUE(session.driver().waitForLog(
        QStringLiteral("ButtonsChanged skipped keys the keyboard doesn't have: NoSuchKey")));
    // Another layer's command leaves this one alone.
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{{"LayerId", "Other"},
                    {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", DriverSession::tiff(Cyan)}}}}}}));
    EXPECT_TRUE(shows("A", Yellow));
    EXPECT_TRUE(shows("B", Magenta));
}

TEST_F(CommandEffectsTest, HybridCommandsAndActionPluginsMoveTheZones)
{
    // A hybrid user layer above a language-zone layer: the user picture in the image zone (0), the
    // language picture in the language zone (3).
    session.store().group(QString(), {"H", "ControlT"});
    session.store().layer(QStringLiteral("H"), {{"Hybrid", true}, {"Buttons", buttons({"A"})}},
                          DriverSession::layerPicture({{"A", Red}}));
    session.store().layer(QStringLiteral("ControlT"), {{"Buttons", buttons({"A"})}},
                          DriverSession::layerPicture({{"A", Blue}}));
    ASSERT_NO_FATAL_FAILURE(start());
    const Quarters imageTopLeft{Red, Black, Black, Blue};
    ASSERT_TRUE(shows("A", imageTopLeft));

    // A key with an action plugin covers the whole key, hybrid layer or not.
    ASSERT_TRUE(session.gdbus("ButtonsChanged", "{'LayerId': <'H'>, 'Buttons': <{'A': <{'ActionPlugin': "
                                                "<{'Signature': <'brevona.test.action'>}>}>}>}"));
    EXPECT_TRUE(shows("A", Red));
    ASSERT_TRUE(session.gdbus("ButtonsChanged",
                              "{'LayerId': <'H'>, 'Buttons': <{'A': <{'ActionPlugin': <@g ''>}>}>}"));
    EXPECT_TRUE(shows("A", imageTopLeft));

    ASSERT_TRUE(session.gdbus("LayerHybridStateChanged", "{'LayerId': <'H'>, 'Hybrid': <false>}"));
    EXPECT_TRUE(shows("A", Red));
    ASSERT_TRUE(session.gdbus("LayerHybridStateChanged", "{'LayerId': <'H'>, 'Hybrid': <true>}"));
    EXPECT_TRUE(shows("A", imageTopLeft));

    ASSERT_TRUE(
        session.gdbus("HybridSetupChanged", "{'Zones': <['', 'Layer Image', '', 'Current Language']>}"));
    EXPECT_TRUE(shows("A", Quarters{Black, Red, Black, Blue}));
    ASSERT_TRUE(
        session.gdbus("HybridSetupChanged", "{'Zones': <['Current Language', '', '', 'Layer Image']>}"));
    EXPECT_TRUE(shows("A", Quarters{Blue, Black, Black, Red}));
    // Without "Current Language" the zones are the defaults again: 0 for pictures, 3 for languages.
    ASSERT_TRUE(session.gdbus("HybridSetupChanged", "{'Zones': <['', 'Layer Image', '', '']>}"));
    EXPECT_TRUE(shows("A", imageTopLeft));

    // "Image" as TIFF bytes from an outside client, scaled up from 8 x 8.
    ASSERT_TRUE(session.gdbus("ButtonsChanged",
                              QStringLiteral("{'LayerId': <'H'>, 'Buttons': <{'A': <{'Image': <%1>}>}>}")
                                  .arg(gdbusBytes(DriverSession::tiff(Green, 8)))));
    EXPECT_TRUE(shows("A", Quarters{Green, Black, Black, Blue}));
}

TEST_F(CommandEffectsTest, StructuralCommandsRebuildTheTree)
{
    auto &store = session.store();
    store.group(QString(), {"L1", "G"});
    store.layer(QStringLiteral("L1"), {{"Buttons", buttons({"A"})}},
                DriverSession::layerPicture({{"A", Red}}));
    store.group(QStringLiteral("G"), {"L2"});
    store.layer(QStringLiteral("G/L2"), {{"Buttons", buttons({"A", "B"})}},
                DriverSession::layerPicture({{"A", Green}, {"B", Cyan}}));
    store.group(QStringLiteral("Defaults"), {"DefTest"});
    store.layer(QStringLiteral("Defaults/DefTest"), {{"Buttons", buttons({"C"})}},
                DriverSession::layerPicture({{"C", Yellow}}));
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(session.composition(), (QStringList{"(default)", "BlackLayer", "DefTest", "L2", "L1"}));
    ASSERT_TRUE(shows("A", Red));
    ASSERT_TRUE(shows("C", Yellow));

    ASSERT_TRUE(session.send("LayerVisibilityChanged", QVariantMap{{"LayerId", "L1"}, {"Enabled", false}}));
    EXPECT_TRUE(shows("A", Green));
    ASSERT_TRUE(session.send("LayerVisibilityChanged", QVariantMap{{"LayerId", "L1"}, {"Enabled", true}}));
    EXPECT_TRUE(shows("A", Red));

    // A Shift condition is false while no Shift key is held.
    const QVariantMap shift{{"Type", "brevona.condition.modifier"},
                            {"Settings", QVariantMap{{"Keys", "Shift"}}}};
    ASSERT_TRUE(session.send("LayerConditionsChanged",
                             QVariantMap{{"LayerId", "L1"}, {"Conditions", QVariantList{shift}}}));
    EXPECT_TRUE(shows("A", Green));
    ASSERT_TRUE(session.send("LayerConditionsChanged",
                             QVariantMap{{"LayerId", "L1"}, {"Conditions", QVariantList{}}}));
    EXPECT_TRUE(shows("A", Red));

    // The configurator writes the folder first, then tells the driver.
    store.layer(QStringLiteral("G/N"), {{"Buttons", buttons({"Q"})}},
                DriverSession::layerPicture({{"Q", White}}));
    ASSERT_TRUE(
        session.send("ItemCreated",
                     QVariantMap{{"GroupId", "G"}, {"ItemId", "N"}, {"ItemOrder", QVariantList{"N", "L2"}}}));
    EXPECT_TRUE(shows("Q", White));
    EXPECT_EQ(session.composition(), (QStringList{"(default)", "BlackLayer", "DefTest", "L2", "N", "L1"}));
    ASSERT_TRUE(session.send("ItemsDeleted", QVariantMap{{"ItemIds", QVariantList{"N", "NotThere"}}}));
    EXPECT_TRUE(shows("Q", Black));

    ASSERT_TRUE(
        session.send("ButtonsDeleted", QVariantMap{{"LayerId", "L1"}, {"Buttons", QVariantList{"A"}}}));
    EXPECT_TRUE(shows("A", Green));
    // The cyan button of L2's B moves to L1's A; B is left to the black layer.
    ASSERT_TRUE(session.send(
        "ButtonsMoved",
        QVariantMap{{"SourceLayer", "L2"}, {"TargetLayer", "L1"}, {"Buttons", QVariantMap{{"B", "A"}}}}));
    EXPECT_TRUE(shows("A", Cyan));
    EXPECT_TRUE(shows("B", Black));
    // Onto a key that has a button, the two swap.
    ASSERT_TRUE(session.send(
        "ButtonsMoved",
        QVariantMap{{"SourceLayer", "L2"}, {"TargetLayer", "L1"}, {"Buttons", QVariantMap{{"A", "A"}}}}));
    EXPECT_TRUE(shows("A", Green));
    ASSERT_TRUE(session.send("LayerVisibilityChanged", QVariantMap{{"LayerId", "L1"}, {"Enabled", false}}));
    EXPECT_TRUE(shows("A", Cyan));
    ASSERT_TRUE(session.send("LayerVisibilityChanged", QVariantMap{{"LayerId", "L1"}, {"Enabled", true}}));
    EXPECT_TRUE(shows("A", Green));

    ASSERT_TRUE(session.send("LayersMoved", QVariantMap{{"GroupId", "Layers"},
                                                        {"LayerIds", QVariantList{"L2"}},
                                                        {"ItemOrder", QVariantList{"L2", "L1", "G"}}}));
    EXPECT_TRUE(shows("A", Cyan));
    // "Defaults" and then the driver's black layer stay at the bottom of the root.
    EXPECT_EQ(session.composition(), (QStringList{"(default)", "BlackLayer", "DefTest", "L1", "L2"}));
    ASSERT_TRUE(session.send("GroupMoved",
                             QVariantMap{{"GroupId", "G"}, {"ItemOrder", QVariantList{"L1", "G", "L2"}}}));
    EXPECT_TRUE(shows("A", Green));
    EXPECT_EQ(session.composition(), (QStringList{"(default)", "BlackLayer", "DefTest", "L2", "L1"}));

    // A full reread: what is on disk counts again.
    store.layer(QStringLiteral("L1"), {{"Buttons", buttons({"A"})}},
                DriverSession::layerPicture({{"A", White}}));
    ASSERT_TRUE(session.send("RefreshLayer", QVariantMap{{"LayerId", "Defaults"}}));
    EXPECT_TRUE(shows("A", White));
    EXPECT_TRUE(shows("B", Cyan));
    EXPECT_EQ(session.composition(), (QStringList{"(default)", "BlackLayer", "DefTest", "L2", "L1"}));

    // A new item of the root: the bottom of the root stays as it was.
    store.layer(QStringLiteral("N2"), {{"Buttons", buttons({"A"})}},
                DriverSession::layerPicture({{"A", Magenta}}));
    ASSERT_TRUE(session.send(
        "ItemCreated",
        QVariantMap{{"GroupId", "Layers"}, {"ItemId", "N2"}, {"ItemOrder", QVariantList{"N2", "L1", "G"}}}));
    EXPECT_TRUE(shows("A", Magenta));
    EXPECT_EQ(session.composition(), (QStringList{"(default)", "BlackLayer", "DefTest", "L2", "L1", "N2"}));
}

TEST_F(CommandEffectsTest, PluginSettingsReachOnlyKeysWithThatPlugin)
{
    session.store().group(QString(), {"L"});
    session.store().layer(
        QStringLiteral("L"),
        {{"Buttons", QVariantMap{{"A", QVariantMap{{"DisplayPlugin", DriverSession::probe(Red)}}},
                                 {"B", QVariantMap{{"DisplayPlugin", DriverSession::probe(Green)}}}}}});
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(shows("A", Red));
    ASSERT_TRUE(shows("B", Green));

    const int before = session.compositions();
    ASSERT_TRUE(session.send(
        "PluginSettings",
        QVariantMap{{"LayerId", "L"},
                    {"Buttons",
                     QVariantMap{{"A", QVariantMap{{"DisplayPlugin", QVariantMap{{"color", "#0000ff"}}}}},
                                 {"C", QVariantMap{{"DisplayPlugin", QVariantMap{{"color", "#ffffff"}}}}},
                                 {"B", QVariantMap{{"ActionPlugin", QVariantMap{{"color", "#ffffff"}}}}}}}}));
    EXPECT_TRUE(shows("A", Blue));
    EXPECT_TRUE(shows("B", Green));
    EXPECT_TRUE(session.driver().waitForLog(QStringLiteral("Layer with id 'L' doesn't have button 'C'")));
    EXPECT_EQ(session.driver().logCount(QStringLiteral("illegal plugin settings for button B")), 1);
    // Neither message stops the command: the keyboard is recomposed.
    EXPECT_TRUE(waitForComposition(before));
}

TEST_F(CommandEffectsTest, DeviceCommandsReachTheKeyboard)
{
    session.store().group(QString(), {"L"});
    session.store().layer(QStringLiteral("L"), {{"Buttons", buttons({"A"})}},
                          DriverSession::layerPicture({{"A", Red}}));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(shows("A", Red));
    const QString orderWritten = QStringLiteral("Wrote /vLumivox/order.sys");
    // The preferences are read two seconds after the keyboard was found: brightness, then sleep.
    ASSERT_TRUE(session.driver().waitForLog(orderWritten, 15000, 2));
    EXPECT_EQ(order(), "s0030");

    ASSERT_TRUE(session.send("ChangeBrightness", QVariantMap{{"Value", 50}, {"Auto", false}}));
    ASSERT_TRUE(session.driver().waitForLog(orderWritten, 15000, 3));
    EXPECT_EQ(order(), "b050");
    ASSERT_TRUE(session.gdbus("ChangeBrightness", "{'Value': <70>, 'Auto': <true>}"));
    ASSERT_TRUE(session.driver().waitForLog(orderWritten, 15000, 4));
    EXPECT_EQ(order(), "b070A");
    // Without the wake flag: false, and the order is sent all the same.
    ASSERT_TRUE(session.send("ChangeSleepTimeout", QVariantMap{{"Value", 60}}));
    ASSERT_TRUE(session.driver().waitForLog(orderWritten, 15000, 5));
    EXPECT_EQ(order(), "s0060");

    // The driver lets go of the keyboard: every item counts as hidden and nothing is written...
    int before = session.compositions();
    ASSERT_TRUE(session.send("ForceDeviceStop", std::nullopt));
    EXPECT_TRUE(session.driver().waitForLog(QStringLiteral("clear state")));
    ASSERT_TRUE(waitForComposition(before));
    EXPECT_EQ(session.composition(), QStringList{"(default)"});
    const int writes = session.driver().logCount(QStringLiteral("Wrote display"));
    before = session.compositions();
    ASSERT_TRUE(session.send(
        "ButtonsChanged",
        QVariantMap{{"LayerId", "L"},
                    {"Buttons", QVariantMap{{"A", QVariantMap{{"Image", DriverSession::tiff(Green)}}}}}}));
    ASSERT_TRUE(waitForComposition(before));
    QThread::msleep(300); // what the writer would still do
    EXPECT_EQ(session.driver().logCount(QStringLiteral("Wrote display")), writes);
    EXPECT_TRUE(shows("A", Red));
    // ...until the volume is found again: then every picture is written afresh.
    ASSERT_TRUE(QDir(session.volume().volumeFolder()).removeRecursively());
    ASSERT_TRUE(session.volume().create(QByteArray()));
    EXPECT_TRUE(session.driver().waitForLog(QStringLiteral("Keyboard volume found"), 15000, 2));
    EXPECT_TRUE(shows("A", Green));

    ASSERT_TRUE(session.send("Terminate", std::nullopt));
    ASSERT_TRUE(session.driver().waitForExit());
    EXPECT_EQ(session.driver().process().exitCode(), 0);
    EXPECT_EQ(session.volume().readLayout(), QByteArray(114, '\0'));
}

} // namespace
