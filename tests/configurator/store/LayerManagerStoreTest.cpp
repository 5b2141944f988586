// Reading the store and keeping its built-in "Defaults" tree: skip rules for hostile or damaged
// entries, the repair that never overwrites, the languages, the remembered selection.
#include <QDirIterator>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>

#include "FakeKeyTranslator.h"
#include "KCKeyboardDefaultLayer.h"
#include "LayerManagerFixture.h"
#include "PreferencesStore.h"
#include "NotificationNames.h"
#include "PluginToggleListener.h"
#include "PythonPlist.h"
#include "StoreWriter.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;

struct LoadRow
{
    const char *name;
    QVariant entry; // put in the root's "ItemOrder" between "G1" and "A"
    QString tree;
};

const LoadRow kLoadRows[] = {
    {.name = "parent_folder", .entry = "..", .tree = "G1[L1,L2,L3],A,B,G2[]"},
    {.name = "builtin_tree_in_the_root", .entry = "Defaults", .tree = "G1[L1,L2,L3],A,B,G2[]"},
    {.name = "duplicate_first_wins", .entry = "B", .tree = "G1[L1,L2,L3],B,A,G2[]"},
    {.name = "layer_without_picture", .entry = "NoPicture", .tree = "G1[L1,L2,L3],A,B,G2[]"},
    {.name = "folder_without_plist", .entry = "Plain", .tree = "G1[L1,L2,L3],A,B,G2[]"},
    {.name = "layer_plist_not_a_dictionary", .entry = "Broken", .tree = "G1[L1,L2,L3],A,B,G2[]"},
    {.name = "plain_layer_loads", .entry = "C", .tree = "G1[L1,L2,L3],C,A,B,G2[]"},
};

class Load : public LayerManagerFixture, public testing::WithParamInterface<LoadRow>
{
};

TEST_P(Load, SkipsWhatIsNoItemOfTheTree)
{
    StoreBuilder store(root);
    store.layer("C", layerInfo("C"));
    store.layer("NoPicture", layerInfo("NoPicture"));
    QFile::remove(root + "/NoPicture/Main.tiff");
    QDir().mkpath(root + "/Plain");
    store.layer("Broken");
    PythonPlist::write(root + "/Broken/Layer.plist", "[1, 2]", false);
    store.group("G1", {"L1", "L2", "L3", "Inner"}, groupInfo("G1"));
    store.group("G1/Inner", {}, groupInfo("Inner")); // groups never nest
    QVariantList order{"G1", GetParam().entry, "A", "B", "G2"};
    StoreWriter(root).writeGroup(QString(), {{"DisplayName", "root"}, {"ItemOrder", order}});
    start();
    EXPECT_EQ(tree(), GetParam().tree);
}

INSTANTIATE_TEST_SUITE_P(Rows, Load, testing::ValuesIn(kLoadRows), RowName());

struct WrongTypeRow
{
    const char *name;
    QVariantMap group; // G1's "Group.plist"
    QString tree;
    QString title;
    bool enabled;
};

// clang-format off
const WrongTypeRow kWrongTypeRows[] = {
    {.name = "order_is_a_string", .group = {{"ItemOrder", "L1"}, {"DisplayName", "G1"}}, .tree = "G1[],A,B,G2[]", .title = "G1", .enabled = true},
    {.name = "conditions_are_a_dictionary", .group = {{"ItemOrder", QVariantList{}}, {"Conditions", QVariantMap{{"a", 1}}}, {"Disabled", true}}, .tree = "G1[],A,B,G2[]", .title = "", .enabled = false},
};
// clang-format on

class WrongTypes : public LayerManagerFixture, public testing::WithParamInterface<WrongTypeRow>
{
};

TEST_P(WrongTypes, ReadAsTheirDefaults)
{
    ASSERT_TRUE(StoreWriter(root).writeGroup("G1", GetParam().group));
    start();
    EXPECT_EQ(tree(), GetParam().tree);
    const auto group = manager->findLayerByID("G1");
    EXPECT_EQ(group->title(), GetParam().title);
    EXPECT_EQ(group->enabled(), GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(Rows, WrongTypes, testing::ValuesIn(kWrongTypeRows), RowName());

TEST_F(LayerManagerFixture, UnreadableRootFailsAndKeepsTheFile)
{
    const QString file = root + "/Group.plist";
    ASSERT_TRUE(StoreWriter(root).writeBytes("Group.plist", "not a property list"));
    KCLayerManager other(root, &link, nullptr, nullptr);
    EXPECT_EQ(other.startup({}, nullptr, 0), Outcome::Failed);
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll(), "not a property list");
}

class Repair : public testing::Test
{
protected:
    void SetUp() override
    {
        translator->add("us", "Q", 0, "q");
        translator->add("gb", "Q", 0, "q");
    }
    std::unique_ptr<KCLayerManager> start(const QList<KCLayerManager::Language> &languages)
    {
        auto manager = std::make_unique<KCLayerManager>(root, &link, nullptr, &preferences);
        EXPECT_EQ(manager->startup(languages, translator, 0), Outcome::Done);
        return manager;
    }
    QVariantMap read(const QString &relative) const
    {
        return PropertyList::readDictionary(root + "/" + relative).value_or(QVariantMap());
    }

    TestHome home;
    QString root = home.dataHome() + "/Lumivox/Layers";
    RecordingLink link{root};
    PreferencesStore preferences{home.configHome() + "/prefs.plist"};
    std::shared_ptr<FakeKeyTranslator> translator = std::make_shared<FakeKeyTranslator>();
    const QList<KCLayerManager::Language> usAndGb{{0, "us", "English (US)"}, {2, "gb", "English (UK)"}};
};

TEST_F(Repair, WritesTheBuiltInTree)
{
    const auto manager = start(usAndGb);
    EXPECT_EQ(read("Group.plist"), (QVariantMap{{"DisplayName", "root"}, {"ItemOrder", QVariantList()}}));
    EXPECT_EQ(read("Defaults/Group.plist").value("ItemOrder").toStringList(),
              (QStringList{"Language0", "Language2", "ControlButtons"}));
    const QVariantMap language = read("Defaults/Language2/Group.plist");
    EXPECT_EQ(language.value("DisplayName"), "English (UK)");
    EXPECT_EQ(
        PythonPlist::canonical(language.value("Conditions")),
        R"([{"Settings":{"LanguageID":i2,"Predicate":"isActive"},"Type":"brevona.condition.language"}])");
    EXPECT_EQ(read("Defaults/ControlButtons/Layer.plist").value("Buttons").toMap().keys(),
              manager->keyboardDefaultLayer()->buttonNames());
    int plists = 0;
    for (QDirIterator it(root, {"*.plist"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();
         ++plists)
        it.next();
    EXPECT_EQ(plists, 1 + 1 + 2 * (1 + 8) + 1);
    EXPECT_TRUE(QFileInfo::exists(root + "/Defaults/Language0/Lang0_None/Main.tiff"));
}

struct ConditionRow
{
    const char *name;
    QString modifier;
    QString conditions; // canonical; empty: no "Conditions" key
};

// clang-format off
const ConditionRow kConditionRows[] = {
    {.name = "caps", .modifier = "Caps", .conditions = R"([{"Settings":{"Keys":""},"Type":"brevona.condition.modifier"},{"Settings":{"State":true},"Type":"brevona.condition.capslock"}])"},
    {.name = "shift_opt_caps", .modifier = "ShiftOptCaps", .conditions = R"([{"Settings":{"Keys":"Shift|Option"},"Type":"brevona.condition.modifier"},{"Settings":{"State":true},"Type":"brevona.condition.capslock"}])"},
    {.name = "opt", .modifier = "Opt", .conditions = R"([{"Settings":{"Keys":"Option"},"Type":"brevona.condition.modifier"}])"},
    {.name = "none", .modifier = "None", .conditions = ""},
};
// clang-format on

class LanguageLayerConditions : public Repair, public testing::WithParamInterface<ConditionRow>
{
};

TEST_P(LanguageLayerConditions, FollowTheModifierCombination)
{
    const auto manager = start(usAndGb);
    const QVariantMap layer = read("Defaults/Language0/Lang0_" + GetParam().modifier + "/Layer.plist");
    EXPECT_EQ(layer.value("DisplayName"), GetParam().modifier);
    EXPECT_EQ(layer.contains("Conditions") ? PythonPlist::canonical(layer.value("Conditions")) : QString(),
              GetParam().conditions);
}

INSTANTIATE_TEST_SUITE_P(Rows, LanguageLayerConditions, testing::ValuesIn(kConditionRows), RowName());

TEST_F(Repair, NeverOverwritesAndFollowsTheLanguages)
{
    StoreWriter writer(root);
    ASSERT_TRUE(writer.writeBytes("Defaults/Language0/Lang0_Shift/Layer.plist", "mine"));
    ASSERT_TRUE(writer.writeBytes("Defaults/ControlButtons/Main.tiff", "mine too"));
    ASSERT_TRUE(writer.writeGroup("Defaults",
                                  {{"ItemOrder", QVariantList{"Language0", "Language7", "ControlButtons"}}}));
    ASSERT_TRUE(writer.writeBytes("Defaults/Language7/Group.plist", "former"));
    auto manager = start(usAndGb);
    const auto bytes = [&](const QString &relative) {
        QFile file(root + "/" + relative);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_EQ(bytes("Defaults/Language0/Lang0_Shift/Layer.plist"), "mine");
    EXPECT_EQ(bytes("Defaults/ControlButtons/Main.tiff"), "mine too");
    EXPECT_EQ(bytes("Defaults/Language7/Group.plist"), "former");
    EXPECT_EQ(read("Defaults/Group.plist").value("ItemOrder").toStringList(),
              (QStringList{"Language0", "Language2", "ControlButtons"}));

    link.sent.clear();
    ASSERT_EQ(manager->languageSetupChanged({{2, "gb", "English (UK)"}}), Outcome::Done);
    EXPECT_EQ(read("Defaults/Group.plist").value("ItemOrder").toStringList(),
              (QStringList{"Language2", "ControlButtons"}));
    EXPECT_TRUE(QFileInfo::exists(root + "/Defaults/Language0/Lang0_None/Layer.plist"));
    EXPECT_EQ(link.names(), QStringList{"RefreshLayer"});
}

TEST_F(Repair, RestoresTheRememberedSelectionThatStillExists)
{
    StoreBuilder(root).group(QString(), {"A", "B"}, {{"DisplayName", "root"}});
    StoreBuilder(root).layer("A");
    StoreBuilder(root).layer("B");
    preferences.setValue(KCLayerManager::LastSelectionKey, QStringList{"Gone", "B", "Language2"});
    auto manager = start(usAndGb);
    EXPECT_EQ(manager->selection(), (QStringList{"B", "Language2"}));
    EXPECT_EQ(preferences.stringListValue(KCLayerManager::LastSelectionKey),
              (QStringList{"Gone", "B", "Language2"}));
    manager->setSelection({"A"});
    EXPECT_EQ(preferences.stringListValue(KCLayerManager::LastSelectionKey), QStringList{"A"});
    EXPECT_EQ(manager->currentLayer()->UUID(), "A");
}

TEST_F(LayerManagerFixture, PluginAnnouncementOnTheBusFlipsTheSwitch)
{
    PluginToggleListener listener(*manager);
    ASSERT_TRUE(listener.isListening());
    QDBusMessage signal = QDBusMessage::createSignal(commands::ServerPath, commands::NotificationsInterface,
                                                     notifications::ToggleLayerAction);
    signal << QStringLiteral("G2");
    ASSERT_TRUE(QDBusConnection::sessionBus().send(signal));
    EXPECT_TRUE(waitUntil([&] { return !manager->findLayerByID("G2")->enabled(); }));
}

} // namespace
} // namespace brevona::test
