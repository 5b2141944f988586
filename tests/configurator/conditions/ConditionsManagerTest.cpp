// The condition editor on a real store, real helpers over platform fakes: row texts and automatic
// names, the edits' one command (RecordingLink checks it against the file), undo, refusals,
// unknown records, the new-item hand-off and the tool's rules.
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTextStream>
#include <QUndoStack>

#include <gtest/gtest.h>

#include "ApplicationsHelper.h"
#include "ConditionKeys.h"
#include "FakeApplicationCatalog.h"
#include "FakeApplicationMonitor.h"
#include "FakeKeyTranslator.h"
#include "FakeKeyboardLayouts.h"
#include "FakeLanguageSource.h"
#include "KCConditionsManager.h"
#include "KCGroupLayer.h"
#include "KCSingleLayer.h"
#include "LanguageTable.h"
#include "LanguagesHelper.h"
#include "LayersCommandLine.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "RecordingLink.h"
#include "StoreBuilder.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "linux/XdgApplicationCatalog.h"

namespace brevona::test {
namespace {

namespace ck = conditionkeys;
using Kind = KCConditionsManager::Kind;
using Outcome = KCLayerManager::Outcome;

const QVariantMap kWeather = StoreBuilder::condition("brevona.condition.weather", {{"Sky", "grey"}});

// Store: A (no conditions), B (an unknown kind, an application record with a bad predicate, Shift),
// G [L].
class ConditionsFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        setUpHelpers();
        loadStore();
    }

    void setUpHelpers()
    {
        ASSERT_TRUE(home.isValid());
        catalog.add({"files", "Files", "/apps/files.desktop", "#ff0000"});
        catalog.add({"mail", "Mail", "/apps/mail.desktop", "#00ff00"});
        catalog.setDefault(KCConditionsManager::FolderMimeType, "files");
        monitor.launch("mail");
        source.setLayouts(QStringList{"us", "de"}, 1);
        layouts.addLayout("us", "English (US)");
        layouts.addLayout("de", "German");
        applications.updateInstalledApplicationsList();
        applications.waitForScan();
    }

    // A language layer costs its pictures: drawn and written at start-up.
    void loadStore(bool withLanguage = false)
    {
        StoreBuilder store(root);
        store.group(QString(), {"A", "B", "G"});
        store.group("G", {"L"});
        store.layer("A");
        store.layer("B",
                    {{"Conditions", QVariantList{kWeather, StoreBuilder::application("files", "sometimes"),
                                                 StoreBuilder::modifiers("Shift")}}});
        store.layer("G/L");
        const QList<KCLayerManager::Language> languages{{0, "us", "English (US)"}};
        ASSERT_EQ(layers.startup(withLanguage ? languages : QList<KCLayerManager::Language>(),
                                 std::make_shared<FakeKeyTranslator>(), 0),
                  Outcome::Done);
        link.sent.clear();
    }

    QVariantList stored(const QString &id) const { return link.plist(id).value("Conditions").toList(); }

    TestHome home;
    QString root = home.dataHome() + QStringLiteral("/Lumivox/Layers");
    const int german = LanguageTable::identifierForLayout("de");
    RecordingLink link{root};
    FakeApplicationCatalog catalog;
    FakeApplicationMonitor monitor;
    PreferencesStore preferences{home.configHome() + QStringLiteral("/prefs.plist")};
    ApplicationsHelper applications{catalog, monitor, preferences, home.cacheHome()};
    FakeLanguageSource source;
    FakeKeyboardLayouts layouts;
    LanguagesHelper languages{source, layouts};
    KCLayerManager layers{root, &link, nullptr, nullptr};
    KCConditionsManager conditions{layers, applications, languages};
};

struct TextRow
{
    const char *name;
    QVariant record;
    Kind kind;
    QString text;
    QString autoname; // of an untitled layer whose first condition it is
};

// clang-format off
const TextRow kTextRows[] = {
    {.name = "application_by_its_name", .record = StoreBuilder::application("files", ck::IsActive), .kind = Kind::Application, .text = "Files is active", .autoname = "Files"},
    {.name = "application_unknown", .record = StoreBuilder::application("gone", ck::IsNotRunning), .kind = Kind::Application, .text = "Unknown is not running", .autoname = "Layer"},
    {.name = "modifier_none", .record = StoreBuilder::modifiers(""), .kind = Kind::Modifier, .text = "No modifiers are pressed", .autoname = "No modifiers"},
    {.name = "modifier_one", .record = StoreBuilder::modifiers("Shift"), .kind = Kind::Modifier, .text = "⇧ Shift is pressed", .autoname = "Shift"},
    {.name = "modifier_two_in_stored_order_for_the_name", .record = StoreBuilder::modifiers("Shift|Option"), .kind = Kind::Modifier, .text = "⌥ ⇧ are pressed", .autoname = "Shift, Option"},
    {.name = "modifier_three_shortened", .record = StoreBuilder::modifiers("Command|Shift|Control"), .kind = Kind::Modifier, .text = "⌃ ⇧ ⌘ are pressed", .autoname = "Cmd, Shift, Ctrl"},
    {.name = "capslock_on", .record = StoreBuilder::capsLock(true), .kind = Kind::CapsLock, .text = "⇪ CapsLock is active", .autoname = "CapsLock"},
    {.name = "language_by_its_name", .record = StoreBuilder::language("de"), .kind = Kind::Language, .text = "Language is German", .autoname = "German"},
    {.name = "language_unknown", .record = StoreBuilder::condition(ck::LanguageType, {{ck::LanguageID, 77}}), .kind = Kind::Language, .text = "Language is Unknown", .autoname = "Layer"},
    {.name = "idle", .record = StoreBuilder::idle(90), .kind = Kind::Idle, .text = "Idle for 90 seconds", .autoname = "Idle 90 s"},
    {.name = "unknown_kind", .record = kWeather, .kind = Kind::Unknown, .text = "Unknown condition (brevona.condition.weather)", .autoname = "Layer"},
    {.name = "predicate_outside_the_four", .record = StoreBuilder::application("files", "sometimes"), .kind = Kind::Unknown, .text = "Unknown condition (brevona.condition.application)", .autoname = "Layer"},
    {.name = "state_of_the_wrong_type", .record = StoreBuilder::condition(ck::CapsLockType, {{ck::State, "yes"}}), .kind = Kind::Unknown, .text = "Unknown condition (brevona.condition.capslock)", .autoname = "Layer"},
    {.name = "settings_not_a_dictionary", .record = QVariantMap{{ck::Type, ck::ModifierType}, {ck::Settings, QVariantList{"Shift"}}}, .kind = Kind::Unknown, .text = "Unknown condition (brevona.condition.modifier)", .autoname = "Layer"},
    {.name = "record_not_a_dictionary", .record = QStringLiteral("Shift"), .kind = Kind::Unknown, .text = "Unknown condition", .autoname = "Layer"},
};
// clang-format on

// Texts need the helpers only.
class RowText : public ConditionsFixture, public testing::WithParamInterface<TextRow>
{
    void SetUp() override { setUpHelpers(); }
};

TEST_P(RowText, ShowsTheRecordAndNamesTheUntitledItem)
{
    const TextRow &row = GetParam();
    const KCConditionsManager::Row shown = conditions.describe(row.record);
    EXPECT_EQ(shown.kind, row.kind);
    EXPECT_EQ(shown.text, row.text);
    const auto layer = KCSingleLayer::create();
    layer->setConditions({row.record});
    EXPECT_EQ(conditions.autonameForLayer(*layer), row.autoname);
}

INSTANTIATE_TEST_SUITE_P(Conditions, RowText, testing::ValuesIn(kTextRows), RowName());

TEST_F(ConditionsFixture, UntitledItemsTakeTheirFirstConditionsIcon)
{
    KCGroupLayer group;
    EXPECT_EQ(conditions.autonameForLayer(group), "Group");
    group.setConditions({StoreBuilder::application("files", ck::IsActive), StoreBuilder::capsLock(true)});
    EXPECT_EQ(conditions.customizedIconForGroup(group).pixelColor(8, 8), QColor(Qt::red));
    group.setConditions({StoreBuilder::capsLock(true)});
    EXPECT_TRUE(conditions.customizedIconForGroup(group).isNull());
}

TEST_F(ConditionsFixture, EveryEditSendsOneCommandAndUndoTakesItBack)
{
    layers.setSelection({"A"});
    conditions.rebuildConditionsTable();
    EXPECT_EQ(conditions.message(), "No conditions");
    // New conditions start from the file manager and the language in use.
    ASSERT_EQ(conditions.addNewCondition(ck::ApplicationType), Outcome::Done);
    ASSERT_EQ(conditions.addNewCondition(ck::LanguageType), Outcome::Done);
    ASSERT_EQ(conditions.changeCondition(0, {{ck::Application, "mail"}, {ck::Predicate, ck::IsRunning}}),
              Outcome::Done);
    ASSERT_EQ(conditions.deleteCondition(1), Outcome::Done);
    ASSERT_EQ(link.names(), QStringList(4, commands::LayerConditionsChanged));
    const QVariantList added{StoreBuilder::application("files", ck::IsActive),
                             StoreBuilder::condition(ck::LanguageType, {{ck::LanguageID, german}})};
    EXPECT_EQ(link.sent[1].info.value(commands::keys::Conditions).toList(), added);
    EXPECT_EQ(conditions.rows().size(), 1);
    EXPECT_EQ(conditions.rows().value(0).text, "Mail is running");

    ASSERT_EQ(layers.undo(), Outcome::Done); // the delete
    ASSERT_EQ(layers.undo(), Outcome::Done); // the change
    EXPECT_EQ(stored("A"), added);
    EXPECT_EQ(link.sent.back().info.value(commands::keys::Conditions).toList(), added);
    EXPECT_EQ(conditions.rows().size(), 2) << "the table follows undo";
    ASSERT_EQ(layers.redo(), Outcome::Done);
    EXPECT_EQ(stored("A").value(0).toMap().value(ck::Settings).toMap().value(ck::Application), "mail");
    EXPECT_EQ(link.sent.size(), 7u);
}

struct NormalisationRow
{
    const char *name;
    QVariantList before;
    QString keys; // given to the modifier condition at row 0
    QVariantList after;
};

// clang-format off
const NormalisationRow kNormalisationRows[] = {
    {.name = "capslock_leaves_the_modifier_for_a_condition_of_its_own", .before = {StoreBuilder::modifiers("")}, .keys = "Shift|CapsLock", .after = {StoreBuilder::modifiers("Shift"), StoreBuilder::capsLock(true)}},
    {.name = "capslock_alone_replaces_the_modifier", .before = {StoreBuilder::modifiers("Shift")}, .keys = "CapsLock", .after = {StoreBuilder::capsLock(true)}},
    {.name = "an_existing_capslock_condition_is_kept", .before = {StoreBuilder::modifiers(""), StoreBuilder::capsLock(false)}, .keys = "Option|CapsLock", .after = {StoreBuilder::modifiers("Option"), StoreBuilder::capsLock(false)}},
};
// clang-format on

class Normalisation : public ConditionsFixture, public testing::WithParamInterface<NormalisationRow>
{
};

TEST_P(Normalisation, CapsLockIsNeverAModifierKey)
{
    const NormalisationRow &row = GetParam();
    ASSERT_EQ(layers.setConditions("A", row.before), Outcome::Done);
    ASSERT_EQ(conditions.changeCondition("A", 0, {{ck::Keys, row.keys}}), Outcome::Done);
    EXPECT_EQ(stored("A"), row.after);
    EXPECT_EQ(link.sent.back().info.value(commands::keys::Conditions).toList(), row.after);
}

INSTANTIATE_TEST_SUITE_P(Conditions, Normalisation, testing::ValuesIn(kNormalisationRows), RowName());

struct RefusalRow
{
    const char *name;
    QString item;
    std::function<Outcome(KCConditionsManager &, const QString &)> edit;
    QString says;
};

const QVariantMap kShift{{ck::Keys, "Shift"}};

// clang-format off
const RefusalRow kRefusalRows[] = {
    {.name = "empty_kind", .item = "B", .edit = [](auto &c, auto &id) { return c.addNewCondition(id, QString(), std::nullopt); }, .says = "No condition kind"},
    {.name = "unknown_kind", .item = "B", .edit = [](auto &c, auto &id) { return c.addNewCondition(id, "brevona.condition.weather", std::nullopt); }, .says = "not a condition kind"},
    {.name = "second_modifier", .item = "B", .edit = [](auto &c, auto &id) { return c.addNewCondition(id, ck::ModifierType, std::nullopt); }, .says = "one at most"},
    {.name = "row_out_of_range", .item = "B", .edit = [](auto &c, auto &id) { return c.changeCondition(id, 3, kShift); }, .says = "out of range"},
    {.name = "unknown_row_changed", .item = "B", .edit = [](auto &c, auto &id) { return c.changeCondition(id, 0, kShift); }, .says = "can only be deleted"},
    {.name = "settings_of_the_wrong_type", .item = "B", .edit = [](auto &c, auto &id) { return c.changeCondition(id, 2, {{ck::Keys, 3}}); }, .says = "keys as text"},
    {.name = "language_layer", .item = "Language0", .edit = [](auto &c, auto &id) { return c.deleteCondition(id, 0); }, .says = "background layer"},
    {.name = "built_in_folder", .item = "Defaults", .edit = [](auto &c, auto &id) { return c.addNewCondition(id, ck::ApplicationType, std::nullopt); }, .says = "No layer or group"},
};
// clang-format on

class Refusal : public ConditionsFixture, public testing::WithParamInterface<RefusalRow>
{
    void SetUp() override
    {
        setUpHelpers();
        loadStore(GetParam().item.startsWith("Language"));
    }
};

TEST_P(Refusal, ChangesNothingAndSendsNothing)
{
    const RefusalRow &row = GetParam();
    const QVariantList before = stored("B");
    EXPECT_EQ(row.edit(conditions, row.item), Outcome::Refused);
    EXPECT_TRUE(conditions.lastError().contains(row.says)) << conditions.lastError().toStdString();
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(stored("B"), before);
    EXPECT_EQ(layers.undoStack()->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Conditions, Refusal, testing::ValuesIn(kRefusalRows), RowName());

TEST_F(ConditionsFixture, UnknownRecordsAreShownKeptAndDeletable)
{
    conditions.showItem("B");
    const auto rows = conditions.rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[1].kind, Kind::Unknown);
    ASSERT_EQ(conditions.deleteCondition(0), Outcome::Done);
    EXPECT_EQ(stored("B"), (QVariantList{StoreBuilder::application("files", "sometimes"),
                                         StoreBuilder::modifiers("Shift")}));
}

class WithLanguage : public ConditionsFixture
{
    void SetUp() override
    {
        setUpHelpers();
        loadStore(true);
    }
};

TEST_F(WithLanguage, MenusFollowWhatTheItemHolds)
{
    const auto enabled = [this] {
        QStringList titles;
        for (const auto &entry : conditions.conditionsMenu())
            if (entry.enabled)
                titles.append(entry.title.trimmed());
        return titles.join(',');
    };
    conditions.showItem("B");
    EXPECT_EQ(enabled(), "Application,CapsLock,Language,Idle for … seconds");
    conditions.showItem("Language0");
    EXPECT_EQ(conditions.message(), "(English language)");
    EXPECT_EQ(enabled(), "");

    QStringList applicationsMenu;
    for (const auto &entry : conditions.applicationsMenu())
        applicationsMenu.append(entry.title);
    EXPECT_EQ(applicationsMenu, (QStringList{"Active Applications:", "Mail", "", "Installed Applications:",
                                             "Files", "", "Browse Application..."}));
}

TEST_F(ConditionsFixture, AnItemMadeWithAConditionIsHandedOverByItsIdentifier)
{
    layers.setSelection({"G"});
    const auto made = conditions.createItemWithCondition(false, ck::LanguageType);
    ASSERT_TRUE(made);
    EXPECT_EQ(conditions.itemIdentifier(), *made);
    EXPECT_EQ(link.names(), QStringList{commands::ItemCreated});
    EXPECT_EQ(stored(*made),
              (QVariantList{StoreBuilder::condition(ck::LanguageType, {{ck::LanguageID, german}})}));
    EXPECT_FALSE(conditions.createItemWithCondition(true, "brevona.condition.weather"));
    ASSERT_EQ(layers.undo(), Outcome::Done);
    EXPECT_TRUE(link.folder(*made).isEmpty());
}

// The tool goes through the same editor: its exit codes and one row of each rule.
class ConditionsTool : public ConditionsFixture
{
protected:
    int run(const QStringList &arguments, QString *printed = nullptr)
    {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        const int status = LayersCommandLine(outStream, errStream, root, &link).run(arguments);
        if (printed)
            *printed = out;
        return status;
    }
};

TEST_F(ConditionsTool, EditsWithTheEditorsRules)
{
    EXPECT_EQ(run({"conditions", "A", "add", "modifier", "Shift", "CapsLock"}), 0);
    EXPECT_EQ(stored("A"), (QVariantList{StoreBuilder::modifiers("Shift"), StoreBuilder::capsLock(true)}));
    EXPECT_EQ(run({"conditions", "A", "add", "modifier"}), 2);
    EXPECT_EQ(run({"conditions", "A", "add", "idle", "0"}), 2);
    EXPECT_EQ(run({"conditions", "A", "set", "3", "on"}), 2);
    EXPECT_EQ(run({"conditions", "Language0", "add", "capslock"}), 2);
    EXPECT_EQ(run({"conditions", "A", "set", "2", "off"}), 0);
    EXPECT_EQ(run({"conditions", "A", "remove", "1"}), 0);
    EXPECT_EQ(stored("A"), (QVariantList{StoreBuilder::capsLock(false)}));
    EXPECT_EQ(link.names(), QStringList(3, commands::LayerConditionsChanged));
    QString printed;
    ASSERT_EQ(run({"--plist", "conditions", "B"}, &printed), 0);
    const auto rows = PropertyList::fromData(printed.toUtf8());
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->toList().value(2).toMap().value("Text"), "⇧ Shift is pressed");
}

// The file manager is the desktop's default for folders.
TEST(DefaultApplication, FollowsTheMimeAppsListsThenTheEntries)
{
    TestHome home;
    home.setEnvironment("XDG_CONFIG_DIRS", home.path() + "/etc");
    home.setEnvironment("XDG_CURRENT_DESKTOP", QStringLiteral("Test"));
    const QString apps = home.path() + "/apps";
    const auto write = [](const QString &path, const QByteArray &text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    for (const char *id : {"alpha", "beta", "gamma"})
        write(apps + "/" + id + ".desktop",
              QByteArray("[Desktop Entry]\nType=Application\nExec=true\nName=") + id +
                  "\nMimeType=inode/directory;\n");
    XdgApplicationCatalog catalog({apps}, "C");
    EXPECT_EQ(catalog.defaultApplicationFor("inode/directory").value_or(InstalledApplication()).identifier,
              "alpha");
    write(home.path() + "/etc/mimeapps.list",
          "[Default Applications]\ninode/directory=missing.desktop;gamma\n");
    EXPECT_EQ(catalog.defaultApplicationFor("inode/directory").value_or(InstalledApplication()).identifier,
              "gamma");
    write(home.configHome() + "/test-mimeapps.list", "[Added Associations]\ninode/directory=alpha\n[Default "
                                                     "Applications]\ninode/directory=beta.desktop\n");
    EXPECT_EQ(catalog.defaultApplicationFor("inode/directory").value_or(InstalledApplication()).identifier,
              "beta");
    EXPECT_FALSE(catalog.defaultApplicationFor("text/x-nothing"));
}

} // namespace
} // namespace brevona::test
