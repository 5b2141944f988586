#pragma once

#include <gtest/gtest.h>

#include "KCDisplayActionManager.h"
#include "KCDisplayActionTables.h"
#include "KCPluginManager.h"
#include "PreferencesStore.h"
#include "ProbeBundle.h"
#include "RecordingLink.h"
#include "StoreBuilder.h"
#include "TestHome.h"

namespace brevona::test {

// The plugin tables, with and without widgets, over named plugins made around the probe's code
// and a real store. Display plugins: "Picture" alone under General, two under Multimedia, five
// under Internet; one action plugin under General. Layer L: A shows red, other keys are absent.
class PluginTablesFixture : public testing::Test
{
protected:
    static QVariantMap named(const QString &name, const QString &category)
    {
        return {{"DisplayName", name}, {"Category", category}};
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(makeProbeBundle(QStringLiteral(BREVONA_TEST_PLUGIN_DIR), plugins, "Tables",
                                    {{"CFBundleIdentifier", "tables"},
                                     {"KCDisplayPlugins", QVariantMap{{"m.1", named("Movie", "multimedia")},
                                                                      {"m.2", named("Music", "multimedia")},
                                                                      {"i.1", named("Mail", "internet")},
                                                                      {"i.2", named("News", "internet")},
                                                                      {"i.3", named("Stocks", "internet")},
                                                                      {"i.4", named("Weather", "internet")},
                                                                      {"i.5", named("Web", "internet")}}},
                                     {"KCActionPlugins", QVariantMap{{"a.run", named("Run", "general")}}}}));
        catalogue.loadAllPlugins();
        StoreBuilder store(root);
        store.group(QString(), {"L"});
        store.layer("L");
        ASSERT_EQ(layers.startup({}, nullptr, 0), KCLayerManager::Outcome::Done)
            << layers.lastError().toStdString();
        QImage red(48, 48, QImage::Format_RGB32);
        red.fill(Qt::red);
        ASSERT_EQ(layers.setKeys("L", {{"A", KCLayerManager::KeyState{red, {}}}}, "Set Keys"),
                  KCLayerManager::Outcome::Done);
        link.sent.clear();
        manager.setSelection("L", {});
        tables.setDisplayActionManager(&manager);
        tables.pluginsInfoUpdated();
    }

    TestHome home;
    QString plugins = home.dataHome() + "/plugins";
    QString root = home.dataHome() + "/Lumivox/Layers";
    RecordingLink link{root};
    KCLayerManager layers{root, &link, nullptr, nullptr};
    KCPluginManager catalogue{{plugins}};
    KCDisplayActionManager manager{layers, catalogue, link};
    PreferencesStore preferences{home.configHome() + "/preferences.plist"};
    KCDisplayActionTables tables{catalogue, &preferences};
};

} // namespace brevona::test
