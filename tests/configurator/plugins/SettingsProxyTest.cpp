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

// An instance with no defaults of its own.
struct Delegate : KCSettingsProxyDelegate
{
    QVariant currentValueForSetting(const QString &, const QString &) override { return {}; }
    void updatePluginSettings(const QString &signature, const QVariantMap &changed) override
    {
        updates.append(
            signature + ":" + changed.firstKey() + "=" +
            (isNullMarker(changed.first()) ? QStringLiteral("<null>") : changed.first().toString()));
    }
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

// Stored values, the instance's own, clearing to them and following another key are the bound
// controls' rows (PluginSettingsViewTest); what no control shows: a key that neither the key nor
// the instance has, and clearing a key without an instance's value of its own.
TEST(SettingsProxy, ClearingAKeyTheInstanceLacksSendsTheNullMarker)
{
    Delegate delegate;
    KCSettingsProxy proxy("s.clock", delegate);
    proxy.setSettings({{"colour", "red"}});
    EXPECT_EQ(proxy.valueForKey("format"), QVariant());
    proxy.setValue(QVariant(), "colour");
    EXPECT_EQ(delegate.updates, QStringList{"s.clock:colour=<null>"});
    EXPECT_EQ(proxy.valueForKey("colour"), QVariant());
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
