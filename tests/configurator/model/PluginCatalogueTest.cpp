// The configurator's plugin catalogue on the real loader: the probe bundles that run and those that
// are refused, each costing only its own key.
#include <QDir>
#include <QLibrary>
#include <QProcess>

#include <gtest/gtest.h>

#include "KCButton.h"
#include "KCPluginCatalogue.h"
#include "KCSingleLayer.h"
#include "LogCapture.h"
#include "TestPrinters.h"
#include "Paths.h"
#include "PluginBundle.h"
#include "TestHome.h"

namespace brevona::test {
namespace {

const QString TestPlugins = QStringLiteral(BREVONA_TEST_PLUGIN_DIR);

QStringList *journal()
{
    QLibrary probe(TestPlugins + QStringLiteral("/Probe.plugin/Contents/Linux/Probe.so"));
    auto entry = reinterpret_cast<QStringList *(*)()>(probe.resolve("brevona_test_journal"));
    return entry ? entry() : nullptr;
}

struct CatalogueRow
{
    const char *name = "";
    const char *signature = "";
    bool runs = false;
    const char *logged = ""; // fragment of the one log line a refused plugin leaves
};

class PluginCatalogue : public ::testing::TestWithParam<CatalogueRow>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", TestPlugins);
    }

    TestHome home;
};

TEST_P(PluginCatalogue, RunsGoodBundlesAndRefusesBrokenOnes)
{
    const CatalogueRow &row = GetParam();
    KCPluginCatalogue catalogue;
    KCPluginHost::setInstance(&catalogue);
    const auto layer = KCSingleLayer::create();
    const auto button = layer->createButton(QStringLiteral("A"));
    const auto neighbour = layer->createButton(QStringLiteral("B"));
    neighbour->setDisplayPluginSettings(
        {{"Signature", "brevona.test.probe"}, {"Settings", QVariantMap{{"neighbour", 1}}}});
    ASSERT_NE(journal(), nullptr);
    journal()->clear();

    LogCapture log;
    button->setDisplayPluginSettings({{"Signature", row.signature}, {"Settings", QVariantMap{{"x", 1}}}});
    KCPluginHost::setInstance(nullptr);

    EXPECT_EQ(button->displayPluginInstance() != nullptr, row.runs);
    EXPECT_EQ(journal()->contains(QStringLiteral("display A set x=1")), row.runs);
    EXPECT_NE(neighbour->displayPluginInstance(), nullptr) << "a refused plugin costs only its key";
    if (*row.logged) {
        EXPECT_EQ(log.count(QLatin1String(row.logged)), 1) << qPrintable(log.messages().join('\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PluginCatalogue,
    ::testing::Values(CatalogueRow{.name = "Probe", .signature = "brevona.test.probe", .runs = true},
                      CatalogueRow{.name = "ThrowingFactory",
                                   .signature = "brevona.test.failing",
                                   .logged = "exception when creating brevona.test.failing: cannot create"},
                      CatalogueRow{.name = "Unknown",
                                   .signature = "brevona.test.unknown",
                                   .logged = "No installed plugin bundle offers 'brevona.test.unknown'"}),
    brevona::test::RowName());

TEST_F(PluginCatalogue, UserFolderWinsOverTheDriversSystemFolder)
{
    const QString userCopy = QDir(Paths::userPluginFolder()).filePath(QStringLiteral("Probe.plugin"));
    QDir().mkpath(Paths::userPluginFolder());
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("cp"),
                          {QStringLiteral("-r"), TestPlugins + QStringLiteral("/Probe.plugin"), userCopy}),
        0);
    KCPluginCatalogue catalogue;
    EXPECT_EQ(catalogue.bundleBySignature(QStringLiteral("brevona.test.probe"))->path(), userCopy);
    EXPECT_TRUE(
        catalogue.bundleBySignature(QStringLiteral("brevona.test.old"))->path().startsWith(TestPlugins));
}

} // namespace
} // namespace brevona::test
