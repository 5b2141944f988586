#pragma once

#include "KCDisplayActionTables.h"
#include "KeysFixture.h"
#include "PreferencesStore.h"
#include "ProbeBundle.h"

namespace brevona::test {

// The plugin tables, with and without widgets, over named plugins made around the probe's code.
// Display plugins: "Picture" alone under General, two under Multimedia, five under Internet; one
// action plugin under General. Layer L: A shows red, other keys are absent.
class PluginTablesFixture : public KeysFixture
{
protected:
    static QVariantMap named(const QString &name, const QString &category)
    {
        return {{"DisplayName", name}, {"Category", category}};
    }

    void SetUp() override
    {
        ASSERT_TRUE(
            makeProbeBundle(QStringLiteral(BREVONA_TEST_PLUGIN_DIR), plugins, "Tables",
                            {{"CFBundleIdentifier", "tables"},
                             {"KCDisplayPlugins", QVariantMap{{"t.movie", named("Movie", "multimedia")},
                                                              {"t.music", named("Music", "multimedia")},
                                                              {"t.mail", named("Mail", "internet")},
                                                              {"t.news", named("News", "internet")},
                                                              {"t.stocks", named("Stocks", "internet")},
                                                              {"t.weather", named("Weather", "internet")},
                                                              {"t.web", named("Web", "internet")}}},
                             {"KCActionPlugins", QVariantMap{{"t.run", named("Run", "general")}}}}));
        catalogue.loadAllPlugins();
        startStore({"L"}, {{"L", {{"A", KCLayerManager::KeyState{filled(Qt::red), {}}}}}});
        tables.setDisplayActionManager(&manager);
        tables.pluginsInfoUpdated();
    }

    PreferencesStore preferences{home.configHome() + "/preferences.plist"};
    KCDisplayActionTables tables{catalogue, &preferences};
};

} // namespace brevona::test
