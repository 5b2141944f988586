// The configurator's plugin catalogue on the real loader: the catalogue's rules over bundle folders
// made around the probe's code, and the probe bundles that run and those that are refused, each
// costing only its own key.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "KCButton.h"
#include "KCPlugin.h"
#include "KCPluginManager.h"
#include "KCSingleLayer.h"
#include "LogCapture.h"
#include "ProbeBundle.h"
#include "ProbeJournal.h"
#include "TestHome.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

const QString TestPlugins = QStringLiteral(BREVONA_TEST_PLUGIN_DIR);

QStringList *journal()
{
    return brevona::test::probeJournal(TestPlugins);
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
    KCPluginManager catalogue;
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

// clang-format off
const CatalogueRow kCatalogueRows[] = {
    {.name = "Probe", .signature = "brevona.test.probe", .runs = true},
    {.name = "ThrowingFactory", .signature = "brevona.test.failing", .logged = "createInstance error: cannot create"},
    {.name = "Unknown", .signature = "brevona.test.unknown", .logged = "No installed plugin bundle offers 'brevona.test.unknown'"},
    // Bundles that cannot run are not offered.
    {.name = "MissingCode", .signature = "brevona.test.missing", .logged = "No installed plugin bundle offers 'brevona.test.missing'"},
    {.name = "WrongVersion", .signature = "brevona.test.old", .logged = "No installed plugin bundle offers 'brevona.test.old'"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, PluginCatalogue, testing::ValuesIn(kCatalogueRows), RowName());

// Bundles made in two folders (0 the system's, 1 the user's) around the probe's code.
struct FixtureBundle
{
    int folder;
    const char *directory;
    QVariantMap info; // beside CFBundleExecutable
};

struct RuleRow
{
    const char *name;
    QList<FixtureBundle> bundles;
    // "what:identifier" -> the answer: title, name, description, category, type, bundle, ui, bundles
    QList<QPair<const char *, const char *>> answers;
};

// clang-format off
const RuleRow kRules[] = {
    {.name = "user_copy_of_a_bundle_wins", .bundles = {{0, "A", {{"CFBundleIdentifier", "a"}, {"CFBundleName", "System A"}, {"KCDisplayPlugins", QVariantMap{{"s.one", QVariantMap{}}}}}}, {1, "A", {{"CFBundleIdentifier", "a"}, {"CFBundleName", "User A"}, {"KCDisplayPlugins", QVariantMap{{"s.two", QVariantMap{}}}}}}}, .answers = {{"title:a", "User A"}, {"bundle:s.two", "a"}, {"bundle:s.one", "a"}, {"bundles:", "a"}}},
    {.name = "a_signature_of_two_bundles_is_the_later_ones", .bundles = {{0, "A", {{"CFBundleIdentifier", "a"}, {"KCDisplayPlugins", QVariantMap{{"s.one", QVariantMap{}}}}}}, {1, "B", {{"CFBundleIdentifier", "b"}, {"KCDisplayPlugins", QVariantMap{{"s.one", QVariantMap{}}}}}}}, .answers = {{"bundle:s.one", "b"}, {"bundles:", "a b"}}},
    {.name = "a_bundle_without_identifier_goes_by_its_folder", .bundles = {{0, "Weather", {{"KCActionPlugins", QVariantMap{{"s.act", QVariantMap{}}}}}}}, .answers = {{"bundle:s.act", "Weather"}, {"type:s.act", "ActionPlugin"}}},
    {.name = "names_by_bundle_by_signature_and_reserved_ones", .bundles = {{0, "A", {{"CFBundleIdentifier", "a"}, {"CFBundleName", "Bundle"}, {"KCBundleDescription", "Says"}, {"KCDisplayPlugins", QVariantMap{{"s.one", QVariantMap{{"DisplayName", "One"}, {"Description", "First"}}}}}}}}, .answers = {{"name:a", "Bundle"}, {"name:s.one", "One"}, {"description:a", "Says"}, {"description:s.one", "First"}, {"name:s.unknown", ""}, {"name:display.nothing", "Nothing"}}},
    {.name = "categories_fall_back_to_the_bundles_then_other", .bundles = {{0, "A", {{"CFBundleIdentifier", "a"}, {"Category", "internet"}, {"KCDisplayPlugins", QVariantMap{{"s.own", QVariantMap{{"Category", "multimedia"}}}, {"s.odd", QVariantMap{{"Category", "odd"}}}, {"s.none", QVariantMap{}}}}}}, {0, "B", {{"CFBundleIdentifier", "b"}, {"KCDisplayPlugins", QVariantMap{{"s.bare", QVariantMap{}}}}}}, {0, "C", {{"CFBundleIdentifier", "c"}, {"Category", "weird"}, {"KCDisplayPlugins", QVariantMap{{"s.weird", QVariantMap{}}}}}}}, .answers = {{"category:s.own", "multimedia"}, {"category:s.odd", "internet"}, {"category:s.none", "internet"}, {"category:s.bare", "other"}, {"category:s.weird", "other"}, {"lists:", "internet=s.none,s.odd multimedia=s.own other=s.bare,s.weird"}}},
    {.name = "a_signature_of_both_kinds_is_a_display_plugin", .bundles = {{0, "A", {{"CFBundleIdentifier", "a"}, {"KCDisplayPlugins", QVariantMap{{"s.both", QVariantMap{}}}}, {"KCActionPlugins", QVariantMap{{"s.both", QVariantMap{}}}}}}}, .answers = {{"type:s.both", "DisplayPlugin"}, {"type:s.none", ""}}},
    {.name = "a_settings_view_is_found_by_signature", .bundles = {{0, "A", {{"CFBundleIdentifier", "a"}, {"KCDisplayPlugins", QVariantMap{{"s.viewed", QVariantMap{}}, {"s.plain", QVariantMap{}}}}}}}, .answers = {{"ui:s.viewed", "s.viewed.ui"}, {"ui:s.plain", ""}}},
};
// clang-format on

class CatalogueRules : public ::testing::TestWithParam<RuleRow>
{
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    void make(const FixtureBundle &bundle)
    {
        ASSERT_TRUE(makeProbeBundle(TestPlugins, folders[bundle.folder], bundle.directory, bundle.info));
        const QString resources =
            folders[bundle.folder] + "/" + bundle.directory + ".plugin/Contents/Resources";
        QFile view(resources + "/s.viewed.ui");
        ASSERT_TRUE(QDir().mkpath(resources) && view.open(QIODevice::WriteOnly));
    }

    static QString answer(const KCPluginManager &catalogue, const QString &what, const QString &identifier)
    {
        if (what == "title")
            return catalogue.plugin(identifier)->pluginTitle();
        if (what == "name")
            return catalogue.displayNameForPlugin(identifier);
        if (what == "description")
            return catalogue.descriptionForPlugin(identifier);
        if (what == "category")
            return catalogue.pluginForSignature(identifier)->categoryForPlugin(identifier);
        if (what == "type")
            return catalogue.pluginTypeForId(identifier);
        if (what == "bundle")
            return catalogue.pluginForSignature(identifier)->identifier();
        if (what == "ui")
            return QFileInfo(catalogue.preferencesViewForSignature(identifier)).fileName();
        if (what == "bundles")
            return catalogue.allBundlesIDs().join(' ');
        QStringList lists;
        const auto byCategory = catalogue.displayPluginsByCategories();
        for (auto it = byCategory.cbegin(); it != byCategory.cend(); ++it)
            lists << it.key() + "=" + it.value().join(',');
        return lists.join(' ');
    }

    TestHome home;
    QString folders[2] = {home.dataHome() + "/system", home.dataHome() + "/user"};
};

TEST_P(CatalogueRules, AnswerAsTheBundlesSay)
{
    for (const FixtureBundle &bundle : GetParam().bundles)
        make(bundle);
    const KCPluginManager catalogue({folders[0], folders[1]});
    for (const auto &[question, expected] : GetParam().answers) {
        const QString ask = QString::fromLatin1(question);
        EXPECT_EQ(answer(catalogue, ask.section(':', 0, 0), ask.section(':', 1)), QString::fromUtf8(expected))
            << question;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CatalogueRules, ::testing::ValuesIn(kRules), RowName());

// What settings views ask of a key's running instance: only instances of interface 3 are asked;
// an older bundle still runs, answers nothing and lets every value pass.
TEST_F(PluginCatalogue, OnlyInstancesOfInterface3TellAndValidateSettings)
{
    struct Row
    {
        const char *signature;
        QVariantMap settings;
        QVariant color;    // the instance's answer
        QVariant proposed; // a colour a view is about to store
        bool valid;
        QVariant stored; // what it becomes
    };
    const Row rows[] = {
        {"brevona.test.probe", {{"color", "#ff0000"}}, "#ff0000", "blue", true, "#0000ff"},
        {"brevona.test.probe", {}, "#000000", "no colour", false, "no colour"},
        {"brevona.test.interface2", {}, QVariant(), "blue", true, "blue"},
    };
    KCPluginManager catalogue;
    KCPluginHost::setInstance(&catalogue);
    const auto layer = KCSingleLayer::create();
    for (const Row &row : rows) {
        const auto button = layer->createButton(QString::fromLatin1(row.signature) + row.proposed.toString());
        button->setDisplayPluginSettings({{"Signature", row.signature}, {"Settings", row.settings}});
        ASSERT_NE(button->displayPluginInstance(), nullptr) << row.signature;
        EXPECT_EQ(button->pluginValueForKey(KCButton::Side::Display, "color"), row.color) << row.signature;
        QVariant value = row.proposed;
        EXPECT_EQ(button->validatePluginValue(KCButton::Side::Display, value, "color"), row.valid);
        EXPECT_EQ(value, row.stored) << row.signature;
    }
    KCPluginHost::setInstance(nullptr);
}

} // namespace
} // namespace brevona::test
