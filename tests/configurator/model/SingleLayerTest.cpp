// Single layers: cutting and composing the layer picture, the lazy cut of the stored picture, and
// what the layer does with bad stored pictures. Also the layer list rules of the base classes.
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "KCButton.h"
#include "KCGroupLayer.h"
#include "KCSingleLayer.h"
#include "KeyboardData.h"
#include "LayerPicture.h"
#include "LayerPictureSaver.h"
#include "LayerPictureWriter.h"
#include "LogCapture.h"
#include "TestPrinters.h"
#include "ModelNotifications.h"
#include "NotificationRecorder.h"
#include "ProbePluginHost.h"
#include "Wait.h"

namespace brevona::test {
namespace {

std::vector<const KeyboardData::Key *> displayKeys()
{
    std::vector<const KeyboardData::Key *> keys;
    for (const KeyboardData::Key &key : KeyboardData::shared().keys()) {
        if (key.display)
            keys.push_back(&key);
    }
    return keys;
}

// Grey everywhere, each key cell a colour of its own with a mark in one corner.
QImage samplePicture(QSize size = QSize(LayerPicture::Width, LayerPicture::Height))
{
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(40, 40, 40));
    QPainter painter(&picture);
    for (const KeyboardData::Key *key : displayKeys()) {
        painter.fillRect(key->cell(), QColor(key->display * 2, 255 - key->display, 90));
        painter.fillRect(QRect(key->location, QSize(6, 6)), Qt::white);
    }
    return picture;
}

QVariantMap allKeysWithoutPlugins()
{
    QVariantMap buttons;
    for (const KeyboardData::Key *key : displayKeys())
        buttons.insert(key->name, QVariantMap());
    return buttons;
}

bool sameCell(const QImage &layer, const QImage &expected, const KeyboardData::Key &key)
{
    return layer.copy(key.cell()) == expected.copy(key.cell()).convertToFormat(layer.format());
}

class SingleLayer : public ::testing::Test
{
protected:
    QString storeSample(const QImage &picture = samplePicture())
    {
        const QString path = m_dir.filePath(QStringLiteral("Main.tiff"));
        EXPECT_TRUE(LayerPictureWriter::writeTiff(path, picture));
        return path;
    }
    std::shared_ptr<KCSingleLayer> storedLayer(const QString &path)
    {
        auto layer = KCSingleLayer::create();
        layer->setButtonsInfo(allKeysWithoutPlugins());
        layer->setLayerImageCachePath(path);
        return layer;
    }

    QTemporaryDir m_dir;
};

TEST_F(SingleLayer, CutAndComposeRoundTripKeepsPictureKeysAndBlackensTheRest)
{
    ProbePluginHost host({QStringLiteral("probe.display.clock")});
    const QImage picture = samplePicture();
    const auto layer = KCSingleLayer::create();
    layer->setButtonsInfo(allKeysWithoutPlugins());
    layer->setDisplayPlugin({{"Signature", "probe.display.clock"}}, QStringLiteral("App0"));
    layer->setLayerImage(picture);

    const auto composed = layer->layerImage();
    ASSERT_TRUE(composed);
    ASSERT_EQ(composed->size(), picture.size());
    for (const KeyboardData::Key *key : displayKeys()) {
        if (key->name == QLatin1String("App0"))
            EXPECT_EQ(composed->copy(key->cell()), LayerPicture::blackKey());
        else
            EXPECT_TRUE(sameCell(*composed, picture, *key)) << qPrintable(key->name);
    }
    EXPECT_EQ(QColor(composed->pixel(0, 0)), QColor(Qt::black));
}

TEST_F(SingleLayer, AStoredPictureShowsThePlaceholderUntilItIsCut)
{
    const auto layer = storedLayer(storeSample());
    const KeyboardData::Key *key = KeyboardData::shared().key(QStringLiteral("App3"));
    NotificationRecorder restored({notifications::KCLayerRestoredImage});

    EXPECT_EQ(layer->imageForButton(key->name), KCSingleLayer::unknownButton());
    ASSERT_TRUE(waitUntil([&] { return !restored.entries().isEmpty(); }, std::chrono::seconds(10)));
    settle(std::chrono::milliseconds(0));
    ASSERT_EQ(restored.entries().size(), 1);
    EXPECT_FALSE(layer->imageIsRestoring());
    EXPECT_TRUE(layer->layerImageCachePath().isEmpty());
    EXPECT_EQ(layer->imageForButton(key->name), samplePicture().copy(key->cell()));
}

// Composing the keys of a layer whose stored picture was never cut, and saving the result, would
// replace the stored picture by black keys.
struct RestoreRow
{
    const char *name = "";
    bool shownFirst = false; // a key was shown, so a worker is cutting or about to
    bool editedKey = false;  // the user drew key A before the cut
};

class RestoreBeforeSave : public SingleLayer, public ::testing::WithParamInterface<RestoreRow>
{
};

TEST_P(RestoreBeforeSave, TheSavedPictureIsTheStoredOneWithTheEdits)
{
    const RestoreRow &row = GetParam();
    const QImage stored = samplePicture();
    const auto layer = storedLayer(storeSample(stored));
    NotificationRecorder restored({notifications::KCLayerRestoredImage});
    if (row.shownFirst)
        layer->imageForButton(QStringLiteral("B"));
    QImage red(48, 48, QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    if (row.editedKey)
        layer->setImage(red, QStringLiteral("A"));

    const QString saved = m_dir.filePath(QStringLiteral("Saved/Main.tiff"));
    {
        LayerPictureWriter writer;
        LayerPictureSaver saver(writer);
        saver.schedule(layer, QString(), saved);
    }
    const QImage written(saved);
    ASSERT_FALSE(written.isNull());
    for (const KeyboardData::Key *key : displayKeys()) {
        if (row.editedKey && key->name == QLatin1String("A")) {
            EXPECT_EQ(written.copy(key->cell()).convertToFormat(red.format()), red);
        } else {
            EXPECT_TRUE(sameCell(written, stored, *key)) << qPrintable(key->name);
        }
    }
    // Whoever cut the picture, the placeholder shown before is replaced once.
    if (row.shownFirst) {
        EXPECT_TRUE(waitUntil([&] { return !restored.entries().isEmpty(); }, std::chrono::seconds(10)));
    }
    settle(std::chrono::milliseconds(0));
    EXPECT_EQ(restored.entries().size(), row.shownFirst ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreBeforeSave,
    ::testing::Values(RestoreRow{.name = "NeverShown", .shownFirst = false, .editedKey = false},
                      RestoreRow{.name = "CutRunning", .shownFirst = true, .editedKey = false},
                      RestoreRow{.name = "EditedBeforeTheCut", .shownFirst = true, .editedKey = true}),
    brevona::test::RowName());

struct BadPictureRow
{
    const char *name = "";
    std::function<void(const QString &path)> store = {};
    const char *logged;
    bool keepsTopLeft = false; // keys inside a smaller picture are still cut from it
};

class BadStoredPicture : public SingleLayer, public ::testing::WithParamInterface<BadPictureRow>
{
};

TEST_P(BadStoredPicture, IsLoggedAndLeavesSoundKeys)
{
    const BadPictureRow &row = GetParam();
    const QString path = m_dir.filePath(QStringLiteral("Main.tiff"));
    row.store(path);
    const auto layer = storedLayer(path);

    LogCapture log;
    layer->ensureImageRestored();
    EXPECT_EQ(log.count(QString::fromLatin1(row.logged)), 1) << qPrintable(log.messages().join('\n'));

    const KeyboardData::Key *inside = KeyboardData::shared().key(QStringLiteral("Esc"));
    const KeyboardData::Key *outside = KeyboardData::shared().key(QStringLiteral("KeypadEnter"));
    ASSERT_TRUE(inside && outside && inside->location.x() < 200 && outside->location.x() > 600);
    EXPECT_EQ(layer->imageForButton(inside->name),
              row.keepsTopLeft ? samplePicture().copy(inside->cell()) : LayerPicture::blackKey());
    EXPECT_EQ(layer->imageForButton(outside->name), LayerPicture::blackKey());
}

INSTANTIATE_TEST_SUITE_P(Rows, BadStoredPicture,
                         ::testing::Values(BadPictureRow{.name = "NotAPicture",
                                                         .store =
                                                             [](const QString &path) {
                                                                 QFile file(path);
                                                                 ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                                                                 file.write("II*\0 this is no picture");
                                                             },
                                                         .logged = "is not readable",
                                                         .keepsTopLeft = false},
                                           BadPictureRow{.name = "WrongSize",
                                                         .store =
                                                             [](const QString &path) {
                                                                 const QImage small =
                                                                     samplePicture().copy(0, 0, 600, 376);
                                                                 ASSERT_TRUE(LayerPictureWriter::writeTiff(
                                                                     path, small));
                                                             },
                                                         .logged = "is 600 x 376, not 1312 x 376",
                                                         .keepsTopLeft = true}),
                         brevona::test::RowName());

TEST(SingleLayerKeys, MovingAButtonSwapsWithAnOccupiedKeyAndFreesTheSource)
{
    const auto layer = KCSingleLayer::create();
    const auto a = layer->createButton(QStringLiteral("A"));
    const auto b = layer->createButton(QStringLiteral("B"));

    layer->moveButtonFrom(QStringLiteral("A"), QStringLiteral("B"));
    EXPECT_EQ(layer->buttonForName(QStringLiteral("B")), a);
    EXPECT_EQ(layer->buttonForName(QStringLiteral("A")), b);
    EXPECT_EQ(a->name(), QStringLiteral("B"));

    layer->moveButtonFrom(QStringLiteral("A"), QStringLiteral("C"));
    EXPECT_EQ(layer->buttonForName(QStringLiteral("C")), b);
    EXPECT_FALSE(layer->hasButton(QStringLiteral("A")));
    EXPECT_EQ(layer->buttonNames(), QStringList({"B", "C"}));
}

struct ConditionsRow
{
    const char *name = "";
    QVariantList given = {};
    QVariantList stored = {};
};

QVariantMap modifier(const QString &keys)
{
    return {{"Type", "brevona.condition.modifier"}, {"Settings", QVariantMap{{"Keys", keys}}}};
}
const QVariantMap kCapsLockOn{{"Type", "brevona.condition.capslock"},
                              {"Settings", QVariantMap{{"State", true}}}};
const QVariantMap kIdle{{"Type", "brevona.condition.idle"}, {"Settings", QVariantMap{{"Time", 5}}}};

class ConditionsNormalised : public ::testing::TestWithParam<ConditionsRow>
{
};

TEST_P(ConditionsNormalised, CapsLockIsNeverAModifierKey)
{
    KCGroupLayer group;
    group.setConditions(GetParam().given);
    EXPECT_EQ(group.conditions(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Rows, ConditionsNormalised,
                         ::testing::Values(ConditionsRow{.name = "ShiftAndCapsLock",
                                                         .given = {kIdle, modifier("Shift|CapsLock")},
                                                         .stored = {kIdle, modifier("Shift"), kCapsLockOn}},
                                           ConditionsRow{
                                               .name = "OnlyCapsLockTwice",
                                               .given = {modifier("CapsLock"), modifier("CapsLock")},
                                               .stored = {kCapsLockOn}},
                                           ConditionsRow{.name = "ExistingCapsLockConditionNotDuplicated",
                                                         .given = {kCapsLockOn, modifier("Option|CapsLock")},
                                                         .stored = {kCapsLockOn, modifier("Option")}},
                                           ConditionsRow{.name = "NoCapsLockUntouched",
                                                         .given = {modifier("Shift|Option")},
                                                         .stored = {modifier("Shift|Option")}}),
                         brevona::test::RowName());

TEST(GroupLayer, InsertBeyondTheEndAppendsAndMovesCountInTheOldList)
{
    KCGroupLayer group;
    std::vector<std::shared_ptr<KCLayer>> layers;
    for (int i = 0; i < 4; ++i) {
        layers.push_back(KCSingleLayer::create());
        group.addLayer(layers.back());
    }
    layers.push_back(KCSingleLayer::create());
    group.insertLayer(layers.back(), 99);
    EXPECT_EQ(group.layerAtIndex(4), layers[4]);
    EXPECT_EQ(group.layerAtIndex(5), nullptr);

    group.moveLayer(layers[1].get(), 4);
    const std::vector<std::shared_ptr<KCLayer>> order{layers[0], layers[2], layers[3], layers[1], layers[4]};
    EXPECT_EQ(group.layers(), order);
}

} // namespace
} // namespace brevona::test
