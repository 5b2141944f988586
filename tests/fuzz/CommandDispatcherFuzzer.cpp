// The driver's command dispatcher fed random commands: any command name with any info dictionary
// of property-list values (wrong types at the keys the handlers read, deep nesting, data where
// text belongs, the null marker anywhere), through the same entry the bus calls. Nothing may
// crash, hang or leak; the layer tree, the device and the hybrid zones take whatever is valid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <fuzzer/FuzzedDataProvider.h>

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>

#include "FakeVolumeMonitor.h"
#include "KDButton.h"
#include "KDKeyboardDevice.h"
#include "KDLayerManager.h"
#include "KDServer.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NullMarker.h"
#include "StoreBuilder.h"
#include "TestHome.h"

using namespace brevona;

namespace {

// "RefreshLayer" rereads the store from disk; it runs every few hundred inputs instead (below).
const char *const Commands[] = {
    "ItemCreated",
    "ItemsDeleted",
    "LayersMoved",
    "GroupMoved",
    "LayerVisibilityChanged",
    "LayerConditionsChanged",
    "LayerHybridStateChanged",
    "HybridSetupChanged",
    "ButtonsChanged",
    "ButtonsDeleted",
    "ButtonsMoved",
    "PluginSettings",
    "ChangeBrightness",
    "ChangeSleepTimeout",
    "ForceDeviceStop",
};
const char *const Keys[] = {
    "GroupId",
    "ItemId",
    "ItemOrder",
    "ItemIds",
    "LayerId",
    "LayerIds",
    "Enabled",
    "Conditions",
    "Hybrid",
    "Zones",
    "Buttons",
    "SourceLayer",
    "TargetLayer",
    "Image",
    "DisplayPlugin",
    "ActionPlugin",
    "Value",
    "Auto",
    "WakeOnWhenMouseMoves",
    "Type",
    "Settings",
    "Keys",
    "Signature",
    "A",
    "B",
    "App0",
    "Esc",
};
const char *const Words[] = {
    "Layers",
    "L1",
    "L2",
    "G",
    "Defaults",
    "BlackLayer",
    "Lang0",
    "Control",
    "A",
    "B",
    "App0",
    "Esc",
    "..",
    "Layer Image",
    "Current Language",
    "",
    "brevona.condition.modifier",
    "brevona.condition.capslock",
    "brevona.condition.idle",
    "brevona.condition.language",
    "brevona.condition.application",
    "Shift|CapsLock",
    "brevona.test.probe",
};

struct World
{
    std::unique_ptr<QGuiApplication> app;
    std::unique_ptr<test::TestHome> home;
    std::unique_ptr<KDKeyboardDevice> device;
    std::unique_ptr<KDLayerManager> manager;
    std::unique_ptr<KDServer> server;
    QByteArray picture;
};

// Lives until the process ends and is never destroyed: the notification centre it is registered
// with may be gone first when static objects are torn down.
World &world()
{
    static World *w = new World;
    return *w;
}

QVariant value(FuzzedDataProvider &data, int depth);

QString text(FuzzedDataProvider &data)
{
    if (data.ConsumeBool())
        return QString::fromUtf8(data.PickValueInArray(Words));
    return QString::fromUtf8(data.ConsumeRandomLengthString(24));
}

QVariantMap dictionary(FuzzedDataProvider &data, int depth)
{
    QVariantMap map;
    const int entries = data.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < entries && data.remaining_bytes() > 0; ++i) {
        const QString key = data.ConsumeBool() ? QString::fromUtf8(data.PickValueInArray(Keys)) : text(data);
        map.insert(key, value(data, depth + 1));
    }
    return map;
}

QVariant value(FuzzedDataProvider &data, int depth)
{
    // Past the nesting limit now and then, so that the refusal is exercised too.
    const int kind = depth > 70 ? 0 : data.ConsumeIntegralInRange(0, 11);
    switch (kind) {
    case 0:
    case 1:
        return text(data);
    case 2:
        return QVariant(data.ConsumeIntegral<qint64>());
    case 3:
        return QVariant(data.ConsumeIntegralInRange<qint64>(-5, 400));
    case 4:
        return QVariant(data.ConsumeFloatingPoint<double>());
    case 5:
        return QVariant(data.ConsumeBool());
    case 6: {
        // Raw bytes, or a real picture cut short somewhere.
        if (data.ConsumeBool())
            return QVariant(
                world().picture.left(data.ConsumeIntegralInRange<int>(0, world().picture.size())));
        const std::string bytes = data.ConsumeRandomLengthString(64);
        return QVariant(QByteArray(bytes.data(), qsizetype(bytes.size())));
    }
    case 7:
        return QVariant(QDateTime::fromSecsSinceEpoch(
            data.ConsumeIntegralInRange<qint64>(-1000000, 2000000000), Qt::UTC));
    case 8:
        return nullMarker();
    case 9: {
        QVariantList list;
        const int elements = data.ConsumeIntegralInRange(0, 5);
        for (int i = 0; i < elements && data.remaining_bytes() > 0; ++i)
            list.append(value(data, depth + 1));
        return list;
    }
    default:
        return dictionary(data, depth);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    World &w = world();
    w.home = std::make_unique<test::TestHome>();
    const QString home = w.home->path();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BREVONA_RESOURCE_DIR", BREVONA_RESOURCE_DIR);
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    w.app = std::make_unique<QGuiApplication>(*argc, *argv);

    // root: L1, G (L2, Hyb), Defaults (Control0); every layer with a few keys.
    const test::StoreBuilder store(w.home->dataHome() + "/Lumivox/Layers");
    const auto layer = [&](const QString &path, const QStringList &keys, bool hybrid) {
        store.layer(path, {{"Buttons", test::StoreBuilder::buttons(keys)}, {"Hybrid", hybrid}});
    };
    store.group(QString(), {"L1", "G"});
    store.group("G", {"L2", "Hyb"});
    store.group("Defaults", {"Control0"});
    layer("L1", {"A", "B", "App0"}, false);
    layer("G/L2", {"A", "Esc"}, false);
    layer("G/Hyb", {"A", "B"}, true);
    layer("Defaults/Control0", {"A", "Esc"}, true);

    QImage picture(12, 12, QImage::Format_RGB32);
    picture.fill(Qt::red);
    w.picture = test::StoreBuilder::tiff(picture);

    // A keyboard that is never mounted: the device takes its commands and writes nothing.
    KDKeyboardDevice::Environment environment;
    environment.volumes = std::make_unique<FakeVolumeMonitor>();
    environment.scancodeResource = home + "/missing-scancode.sys";
    environment.preferencesFile = home + "/missing-preferences.plist";
    w.device = std::make_unique<KDKeyboardDevice>(std::move(environment));
    KDButton::setDisplaySink([](const std::shared_ptr<KCLumivoxImage> &, int) {});
    // The bottom layer with a handful of keys instead of all of them: every command recomposes,
    // and the fuzzer's speed is the number of inputs it tries.
    const QString black = test::StoreBuilder(home).layer(
        "BlackLayer", {{"Buttons", test::StoreBuilder::buttons({"A", "B", "Esc", "App0", "Q"})}});
    w.manager = std::make_unique<KDLayerManager>(store.root(), black);
    w.server = std::make_unique<KDServer>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static unsigned runs = 0;
    FuzzedDataProvider data(bytes, size);
    const QString name = data.ConsumeIntegralInRange(0, 15) == 0
                             ? text(data)
                             : QString::fromUtf8(data.PickValueInArray(Commands));
    const QVariantMap info = dictionary(data, 1);
    world().server->notify(name, info);
    // The keyboard comes back after "ForceDeviceStop", and the tree is read afresh now and then,
    // so that later inputs meet a keyboard and a tree again.
    if (name == QLatin1String("ForceDeviceStop"))
        NotificationCenter::defaultCenter().post(notifications::DriveFound);
    if (++runs % 500 == 0)
        world().server->notify(QStringLiteral("RefreshLayer"), {});
    return 0;
}
