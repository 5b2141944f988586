// Keys and their plugins: the plugin setter, the settings merge, activation and reports from
// plugin threads.
#include <thread>

#include <QPainter>
#include <QThread>

#include <gtest/gtest.h>

#include "KCButton.h"
#include "KCPluginImage.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "LogCapture.h"
#include "TestPrinters.h"
#include "ModelNotifications.h"
#include "NotificationCenter.h"
#include "NullMarker.h"
#include "ProbePluginHost.h"
#include "Wait.h"

namespace brevona::test {
namespace {

QVariantMap entry(const QString &signature, const QVariantMap &settings = {})
{
    return {{QStringLiteral("Signature"), signature}, {QStringLiteral("Settings"), settings}};
}

const QString kClock = QStringLiteral("probe.display.clock");
const QString kWeather = QStringLiteral("probe.display.weather");

struct SetterRow
{
    const char *name = "";
    QVariantMap before = {};
    QVariantMap after = {};
    int created = 0;   // instances made by the second setting
    int destroyed = 0; // instances dropped by it
    bool keepsActive = false;
    QVariantMap values = {}; // settings the plugins received, over both settings
    QStringList logged = {}; // fragments of the expected log lines
};

class PluginSetter : public ::testing::TestWithParam<SetterRow>
{
};

TEST_P(PluginSetter, ReplacesKeepsOrDropsTheInstance)
{
    const SetterRow &row = GetParam();
    ProbePluginHost host({kClock, kWeather});
    const auto layer = KCSingleLayer::create();
    const auto button = layer->createButton(QStringLiteral("A"));
    button->setDisplayPluginSettings(row.before);
    button->activate();
    const ProbeRecord start = *host.record();

    LogCapture log;
    button->setDisplayPluginSettings(row.after);

    EXPECT_EQ(button->displayPluginSettings(), row.after);
    EXPECT_EQ(host.record()->created - start.created, row.created);
    EXPECT_EQ(host.record()->destroyed - start.destroyed, row.destroyed);
    EXPECT_EQ(button->isActive(), row.keepsActive);
    EXPECT_EQ(host.record()->values, row.values);
    for (const QString &fragment : row.logged)
        EXPECT_EQ(log.count(fragment), 1) << qPrintable(fragment) << qPrintable(log.messages().join('\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PluginSetter,
    ::testing::Values(
        SetterRow{.name = "FirstPlugin",
                  .after = entry(kClock, {{"speed", 2}}),
                  .created = 1,
                  .values = {{"speed", 2}}},
        SetterRow{.name = "SameSignatureKeepsTheRunningInstance",
                  .before = entry(kClock, {{"speed", 2}}),
                  .after = entry(kClock, {{"speed", 7}}),
                  .keepsActive = true,
                  .values = {{"speed", 7}}},
        SetterRow{.name = "OtherSignatureReplacesIt",
                  .before = entry(kClock, {{"speed", 2}}),
                  .after = entry(kWeather, {{"city", "Oslo"}}),
                  .created = 1,
                  .destroyed = 1,
                  .values = {{"speed", 2}, {"city", "Oslo"}}},
        SetterRow{.name = "NoneDropsIt", .before = entry(kClock), .after = {}, .destroyed = 1},
        SetterRow{.name = "UnknownSignatureKeepsTheEntryWithoutInstance",
                  .before = entry(kClock),
                  .after = entry(QStringLiteral("probe.display.missing"), {{"speed", 1}}),
                  .destroyed = 1},
        SetterRow{
            .name = "RejectedSettingsAreLoggedAndTheRestApplied",
            .after = entry(kClock, {{"reject", 1}, {"explode", 2}, {"speed", 3}}),
            .created = 1,
            .values = {{"speed", 3}},
            .logged = {"SetValue: 1, forKey: reject, Plugin: probe.display.clock, Error: probe rejects",
                       "SetValue: 2, forKey: explode, Plugin: probe.display.clock, Error: probe refuses"}}),
    brevona::test::RowName());

struct MergeRow
{
    const char *name = "";
    QVariantMap entry = {};
    QVariantMap changes = {};
    QVariantMap expected = {};
};

class SettingsMerge : public ::testing::TestWithParam<MergeRow>
{
};

TEST_P(SettingsMerge, ChangesReplaceNullRemovesEmptyClears)
{
    const MergeRow &row = GetParam();
    EXPECT_EQ(KCButton::mergedSettings(row.entry, row.changes), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsMerge,
                         ::testing::Values(MergeRow{.name = "ReplaceAndAdd",
                                                    .entry = entry(kClock, {{"a", 1}, {"b", 2}}),
                                                    .changes = {{"a", 5}, {"c", 3}},
                                                    .expected = entry(kClock,
                                                                      {{"a", 5}, {"b", 2}, {"c", 3}})},
                                           MergeRow{.name = "NullMarkerRemoves",
                                                    .entry = entry(kClock, {{"a", 1}, {"b", 2}}),
                                                    .changes = {{"a", nullMarker()}},
                                                    .expected = entry(kClock, {{"b", 2}})},
                                           MergeRow{.name = "EmptyChangeRemovesSettings",
                                                    .entry = entry(kClock, {{"a", 1}}),
                                                    .changes = {},
                                                    .expected = {{"Signature", kClock}}}),
                         brevona::test::RowName());

TEST(ButtonPlugins, LayerMergeHandsTheNewValuesToTheRunningInstance)
{
    ProbePluginHost host({kClock});
    const auto layer = KCSingleLayer::create();
    layer->setInfo({{"DisplayPlugin", entry(kClock, {{"speed", 1}, {"face", "round"}})}},
                   QStringLiteral("A"));
    layer->updateDisplayPluginSettings({{"speed", 9}, {"face", nullMarker()}}, QStringLiteral("A"));

    EXPECT_EQ(host.record()->created, 1);
    EXPECT_EQ(host.record()->values.value("speed"), 9);
    EXPECT_EQ(layer->displayPluginForButton(QStringLiteral("A")), entry(kClock, {{"speed", 9}}));
    EXPECT_EQ(layer->infoForButton(QStringLiteral("A")),
              QVariantMap({{"DisplayPlugin", entry(kClock, {{"speed", 9}})}}));
}

TEST(ButtonPlugins, ADisplayPluginShowsThePlaceholderAndClearsTheOwnPicture)
{
    ProbePluginHost host({kClock});
    const auto layer = KCSingleLayer::create();
    const auto button = layer->createButton(QStringLiteral("A"));
    QImage red(48, 48, QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    button->setImage(red);
    button->setDisplayPluginSettings(entry(kClock));

    EXPECT_FALSE(button->hasImage());
    EXPECT_EQ(button->pictureImage(), LayerPicture::blackKey());
    EXPECT_EQ(button->image(), LayerPicture::placeholder());
}

TEST(ButtonPlugins, ActivationCallsOnlyPluginsThatRunAndOnlyOnce)
{
    ProbePluginHost host({kClock, QStringLiteral("probe.action.passive")});
    const auto layer = KCSingleLayer::create();
    layer->setInfo({{"ActionPlugin", entry(QStringLiteral("probe.action.passive"))}}, QStringLiteral("A"));
    layer->setInfo({{"DisplayPlugin", entry(kClock)}}, QStringLiteral("B"));

    layer->activate();
    layer->activate();
    EXPECT_FALSE(layer->buttonForName(QStringLiteral("A"))->isActive());
    EXPECT_TRUE(layer->buttonForName(QStringLiteral("B"))->isActive());
    EXPECT_EQ(host.record()->activated, 1);

    layer->deleteButton(QStringLiteral("B"));
    EXPECT_EQ(host.record()->deactivated, 1);
    layer->deactivate();
    EXPECT_EQ(host.record()->deactivated, 1);
}

TEST(ButtonPlugins, UpdatesFromAPluginThreadAreReportedOnceOnTheMainThread)
{
    ProbePluginHost host({kClock});
    const auto layer = KCSingleLayer::create();
    layer->setInfo({{"DisplayPlugin", entry(kClock)}}, QStringLiteral("A"));
    const auto button = layer->buttonForName(QStringLiteral("A"));

    int reports = 0;
    bool onMainThread = true;
    NotificationCenter::defaultCenter().addObserver(
        &reports, notifications::KCButtonPluginUpdated, [&](Notification &notification) {
            ++reports;
            onMainThread &= QThread::currentThread() == QCoreApplication::instance()->thread();
            EXPECT_EQ(notification.userInfo().value("ButtonName"), "A");
        });
    std::thread plugin([&] {
        for (int i = 0; i < 50; ++i) {
            button->getImage()->paint(
                [i](QPainter &painter) { painter.fillRect(0, 0, 48, 48, QColor(i, 0, 0)); });
            button->update();
        }
    });
    plugin.join();
    EXPECT_EQ(reports, 0);
    settle(std::chrono::milliseconds(0));
    NotificationCenter::defaultCenter().removeObserver(&reports);

    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(QColor(button->image().pixel(0, 0)), QColor(49, 0, 0));
}

} // namespace
} // namespace brevona::test
