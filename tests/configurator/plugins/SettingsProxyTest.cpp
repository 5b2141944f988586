// A settings view's proxy over the selected key's settings and the instance's defaults, and the
// trampoline's one "PluginSettings" per pass that keeps every change.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "DriverCommandSink.h"
#include "KCPluginSettingsTrampoline.h"
#include "KCSettingsProxy.h"
#include "NullMarker.h"
#include "Wait.h"

namespace brevona::test {
namespace {

struct Delegate : KCSettingsProxyDelegate
{
    QVariant currentValueForSetting(const QString &, const QString &key) override
    {
        return defaults.value(key);
    }
    void updatePluginSettings(const QString &signature, const QVariantMap &changed) override
    {
        updates.append(
            signature + ":" + changed.firstKey() + "=" +
            (isNullMarker(changed.first()) ? QStringLiteral("<null>") : changed.first().toString()));
    }
    QVariantMap defaults{{"format", "HH:mm"}};
    QStringList updates;
};

struct Sink : DriverCommandSink
{
    void sendCommand(const QString &command, const QVariantMap &info) override
    {
        sent.append({command, info});
    }
    QList<QPair<QString, QVariantMap>> sent;
};

TEST(SettingsProxy, ReadsStoredThenTheInstancesOwnAndClearsToIt)
{
    Delegate delegate;
    KCSettingsProxy proxy("s.clock", delegate);
    QStringList announced;
    QObject::connect(&proxy, &KCSettingsProxy::settingChanged, [&](const QString &key) { announced << key; });
    proxy.setSettings({{"colour", "red"}});
    proxy.setSettings({{"format", "h:mm"}});
    EXPECT_EQ(announced, (QStringList{"colour", "format", "colour"})) << "old and new keys, in reverse";
    EXPECT_EQ(proxy.valueForKey("format"), "h:mm");
    EXPECT_EQ(proxy.valueForKey("colour"), QVariant()) << "neither stored nor the instance's";

    proxy.setValue("mm:ss", "format");
    proxy.setValue(QVariant(), "format");
    proxy.setValue(QVariant(), "colour");
    EXPECT_EQ(delegate.updates,
              (QStringList{"s.clock:format=mm:ss", "s.clock:format=HH:mm", "s.clock:colour=<null>"}));
    EXPECT_EQ(proxy.valueForKey("format"), "HH:mm");
    EXPECT_TRUE(proxy.settings().isEmpty());
}

TEST(SettingsTrampoline, OneCommandPerPassKeepsEveryChange)
{
    Sink sink;
    KCPluginSettingsTrampoline trampoline(sink);
    trampoline.schedule("L", "A", "DisplayPlugin", {{"format", "h"}});
    trampoline.schedule("L", "A", "DisplayPlugin", {{"colour", "red"}});
    trampoline.schedule("L", "A", "ActionPlugin", {{"program", "ls"}});
    trampoline.schedule("L", "A", "DisplayPlugin", {{"format", "hh"}});
    EXPECT_TRUE(sink.sent.isEmpty()) << "nothing before the pass ends";
    ASSERT_TRUE(waitUntil([&] { return !sink.sent.isEmpty(); }));
    ASSERT_EQ(sink.sent.size(), 1);
    EXPECT_EQ(sink.sent[0].first, "PluginSettings");
    const QVariantMap button = sink.sent[0].second.value("Buttons").toMap().value("A").toMap();
    EXPECT_EQ(button.value("DisplayPlugin").toMap(), (QVariantMap{{"format", "hh"}, {"colour", "red"}}));
    EXPECT_EQ(button.value("ActionPlugin").toMap(), (QVariantMap{{"program", "ls"}}));
    EXPECT_EQ(sink.sent[0].second.value("LayerId"), "L");

    // Another layer's change does not ride on the pending one's command.
    trampoline.schedule("L", "A", "DisplayPlugin", {{"format", "h"}});
    trampoline.schedule("M", "B", "DisplayPlugin", {{"format", "h"}});
    ASSERT_TRUE(waitUntil([&] { return sink.sent.size() == 3; }));
    EXPECT_EQ(sink.sent[1].second.value("LayerId"), "L");
    EXPECT_EQ(sink.sent[2].second.value("LayerId"), "M");
}

} // namespace
} // namespace brevona::test
