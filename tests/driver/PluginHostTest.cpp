#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "KCEncryptor.h"
#include "KCLumivoxImage.h"
#include "KCPluginProtocol.h"
#include "KDButton.h"
#include "PluginBundle.h"
#include "KDPluginManager.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NullMarker.h"
#include "Paths.h"
#include "ProbeJournal.h"
#include "TestHome.h"

using namespace brevona;
using brevona::test::LogCapture;

namespace {

const QString TestPlugins = QStringLiteral(BREVONA_TEST_PLUGIN_DIR);

QStringList *journal()
{
    return brevona::test::probeJournal(TestPlugins);
}

class PluginHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", TestPlugins);
        KDPluginManager::sharedInstance().loadPlugins();
        KDButton::setDisplaySink(
            [this](const std::shared_ptr<KCLumivoxImage> &, int oled) { sent.append(oled); });
        // The probe's journal lives in its code, loaded on the first instance.
        KDButton::create(QVariantMap{{"DisplayPlugin", QVariantMap{{"Signature", "brevona.test.probe"}}}},
                         "G", {});
        ASSERT_NE(journal(), nullptr);
        journal()->clear();
    }
    void TearDown() override { KDButton::setDisplaySink({}); }

    static QVariantMap entry(const char *kind, const char *signature, const QVariantMap &settings = {})
    {
        return {{QLatin1String(kind), QVariantMap{{"Signature", signature}, {"Settings", settings}}}};
    }

    test::TestHome home;
    QList<int> sent;
};

TEST(PluginNamingRule, SignatureNamesTheClass)
{
    const std::pair<const char *, const char *> rows[] = {
        {"brevona.display.general.animation", "BrevonaDisplayGeneralAnimation"},
        {"BREVONA.display.GeNeRaL", "BrevonaDisplayGeneral"},
        {"a..b.", "AB"},
        {"", ""},
    };
    for (const auto &[signature, name] : rows)
        EXPECT_EQ(KDPluginManager::className(QLatin1String(signature)), QLatin1String(name)) << signature;
}

TEST_F(PluginHostTest, BrokenBundlesYieldNoPluginAndSayWhy)
{
    struct Row
    {
        const char *signature;
        const char *log;
    };
    const Row rows[] = {
        {.signature = "brevona.test.old", .log = "was built for plugin interface"},
        // Built for interface 1: loaded, so what fails is its classes.
        {.signature = "brevona.test.orphan", .log = "due to illegal principal class"},
        {.signature = "brevona.test.missing", .log = "could not be loaded"},
        {.signature = "brevona.test.unknown",
         .log = "Warning: can't create plugin by signature 'brevona.test.unknown'"},
        {.signature = "brevona.test.entrythrows", .log = "failed in brevona_plugin_module: no module today"},
        {.signature = "brevona.test.failing",
         .log = "exception when creating brevona.test.failing: cannot create"},
    };
    for (const Row &row : rows) {
        LogCapture log;
        auto button = KDButton::create(entry("DisplayPlugin", row.signature), QStringLiteral("G"), {});
        EXPECT_FALSE(button->hasDisplayPlugin()) << row.signature;
        EXPECT_GE(log.count(QLatin1String(row.log)), 1)
            << row.signature << ": " << log.messages().join('\n').toStdString();
    }
}

TEST_F(PluginHostTest, BundleOfAnOlderInterfaceStillRuns)
{
    auto button =
        KDButton::create(entry("DisplayPlugin", "brevona.test.interface2"), QStringLiteral("G"), {});
    ASSERT_TRUE(button->hasDisplayPlugin());
    button->activate();
    EXPECT_EQ(QColor(button->image()->image().pixel(24, 24)), QColor(Qt::blue));
    button->deactivate();
}

TEST_F(PluginHostTest, UserFolderBundleWinsOverTheSystemOne)
{
    const QString userCopy = QDir(Paths::userPluginFolder()).filePath(QStringLiteral("Probe.plugin"));
    QDir().mkpath(Paths::userPluginFolder());
    QProcess copy;
    copy.start(QStringLiteral("cp"),
               {QStringLiteral("-r"), TestPlugins + QStringLiteral("/Probe.plugin"), userCopy});
    ASSERT_TRUE(copy.waitForFinished());
    KDPluginManager::sharedInstance().loadPlugins();
    EXPECT_EQ(
        KDPluginManager::sharedInstance().bundleBySignature(QStringLiteral("brevona.test.probe"))->path(),
        userCopy);
    QDir(userCopy).removeRecursively();
    KDPluginManager::sharedInstance().loadPlugins();
    EXPECT_TRUE(KDPluginManager::sharedInstance()
                    .bundleBySignature(QStringLiteral("brevona.test.probe"))
                    ->path()
                    .startsWith(TestPlugins));
}

TEST_F(PluginHostTest, ScrambledSettingsReachThePluginUnscrambled)
{
    const QVariantMap settings{{"#secret#", KCEncryptor::encryptString(QStringLiteral("abc"))},
                               {"plain", "text"}};
    KDButton::create(entry("DisplayPlugin", "brevona.test.probe", settings), QStringLiteral("G"), {});
    EXPECT_TRUE(journal()->contains(QStringLiteral("display G set secret=abc")))
        << journal()->join('\n').toStdString();
    EXPECT_TRUE(journal()->contains(QStringLiteral("display G set plain=text")));
}

TEST_F(PluginHostTest, ThrowingPluginIsLoggedAndTheButtonStays)
{
    LogCapture log;
    auto button =
        KDButton::create(entry("ActionPlugin", "brevona.test.throwing", {{"a", 1}}), QStringLiteral("G"), {});
    EXPECT_EQ(log.count(QStringLiteral("exception while set properties for plugin: setValue failed")), 1);
    ASSERT_TRUE(button->hasActionPlugin());
    button->activate();
    NotificationCenter::defaultCenter().post(notifications::TriggerActionButton, QStringLiteral("G"));
    EXPECT_EQ(log.count(QStringLiteral("exception when triggering action")), 1);
    button->deactivate();
    EXPECT_EQ(log.count(QStringLiteral("exception when deactivating")), 1);
    EXPECT_FALSE(button->isActivated());
}

TEST_F(PluginHostTest, OnlyActiveButtonsRunTheirActions)
{
    auto button = KDButton::create(entry("ActionPlugin", "brevona.test.action"), QStringLiteral("H"), {});
    NotificationCenter::defaultCenter().post(notifications::TriggerActionButton, QStringLiteral("H"));
    EXPECT_FALSE(journal()->contains(QStringLiteral("action H down")));
    button->activate();
    NotificationCenter::defaultCenter().post(notifications::TriggerActionButton, QStringLiteral("G"));
    NotificationCenter::defaultCenter().post(notifications::TriggerActionButton, QStringLiteral("H"));
    EXPECT_EQ(journal()->filter(QStringLiteral("action H ")).mid(1),
              (QStringList{"action H activate", "action H down", "action H up"}));
    EXPECT_EQ(button->getSegment(), -2);
    button->setSegment(1);
    EXPECT_EQ(button->getSegment(), -2) << "a key with an action covers the whole picture";
}

TEST_F(PluginHostTest, ImageChangeDropsTheDisplayPluginAndAPluginComesBack)
{
    auto button = KDButton::create(entry("DisplayPlugin", "brevona.test.probe", {{"color", "#ff0000"}}),
                                   QStringLiteral("G"), {});
    button->activate();
    QImage green(4, 4, QImage::Format_RGB32);
    green.fill(Qt::green);
    button->changeByPlist({{"Image", QVariant::fromValue(green)},
                           {"DisplayPlugin", QVariantMap{{"Signature", "brevona.test.probe"}}}});
    EXPECT_FALSE(button->hasDisplayPlugin());
    EXPECT_EQ(QColor(button->image()->image().pixel(24, 24)), QColor(Qt::green));
    button->changeByPlist({{"DisplayPlugin", QVariantMap{{"Signature", "brevona.test.probe"},
                                                         {"Settings", QVariantMap{{"color", "#0000ff"}}}}}});
    EXPECT_TRUE(button->hasDisplayPlugin());
    EXPECT_TRUE(button->isActivated());
    EXPECT_EQ(QColor(button->image()->image().pixel(24, 24)), QColor(Qt::blue));
    button->changeByPlist({{"DisplayPlugin", nullMarker()}});
    EXPECT_FALSE(button->hasDisplayPlugin());
}

TEST_F(PluginHostTest, PluginSettingsGoToTheNamedPlugin)
{
    auto button = KDButton::create(entry("DisplayPlugin", "brevona.test.probe"), QStringLiteral("G"), {});
    LogCapture log;
    EXPECT_FALSE(
        button->setPluginSettingsByPlist({{"DisplayPlugin", QVariantMap{{"x", 1}, {"gone", nullMarker()}}},
                                          {"ActionPlugin", QVariantMap{{"y", 2}}}}));
    EXPECT_TRUE(journal()->contains(QStringLiteral("display G set x=1")));
    EXPECT_TRUE(journal()->contains(QStringLiteral("display G set gone=<none>")));
    EXPECT_EQ(log.count(QStringLiteral("illegal plugin settings for button G:")), 1);
}

TEST_F(PluginHostTest, ButtonTakenOutOfItsStackReportsNowhere)
{
    auto owner = KDButton::createWithId(QStringLiteral("F"));
    auto button = KDButton::create(entry("DisplayPlugin", "brevona.test.probe"), QStringLiteral("G"), {});
    button->activate();
    sent.clear();
    button->update();
    EXPECT_EQ(sent.size(), 1) << "a button on its own sends its picture";
    button->setOwner(owner);
    button->setOwner(nullptr);
    button->update();
    EXPECT_EQ(sent.size(), 1);
}

} // namespace
