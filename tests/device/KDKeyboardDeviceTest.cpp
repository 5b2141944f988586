#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DeviceTestSupport.h"
#include "FakeVolumeMonitor.h"
#include "FakeX11Session.h"
#include "KCLumivoxImage.h"
#include "KDKeyboardDevice.h"
#include "KDModifierMappingReader.h"
#include "KDScancodeTable.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "NotificationRecorder.h"
#include "PropertyList.h"
#include "SimulatedVolume.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

const QString kKeyboardSource = QStringLiteral("/dev/sdk1");
const BlockDeviceIdentity kKeyboardIdentity{true, QStringLiteral("NXP Semi"), QStringLiteral("LPC288x Disk")};
const BlockDeviceIdentity kStickIdentity{true, QStringLiteral("SanDisk"), QStringLiteral("Cruzer Blade")};

// Counts the device's announcements of the keyboard's presence.
struct DriveWatcher
{
    NotificationRecorder recorder{{notifications::DriveFound, notifications::DriveLost}, {"found", "lost"}};
    int found() const { return recorder.count(QStringLiteral("found")); }
    int lost() const { return recorder.count(QStringLiteral("lost")); }
};

// Reads whatever is written into a named pipe standing for one of the volume's files.
class PipeRecorder
{
public:
    explicit PipeRecorder(const QString &path)
    {
        QFile::remove(path);
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
            m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PipeRecorder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }
    QByteArray take()
    {
        QByteArray all;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            all.append(buffer, n);
        return all;
    }

private:
    int m_fd = -1;
};

class DeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        volume = std::make_unique<SimulatedVolume>(m_dir.filePath(QStringLiteral("keyboard")));
        ASSERT_TRUE(volume->create(QByteArray()));
        scancodeResource = m_dir.filePath(QStringLiteral("scancode.sys"));
        QByteArray base(KDScancodeTable::TableSize, '\0');
        for (int i = 0; i < base.size(); ++i)
            base[i] = char(i % 251);
        ASSERT_TRUE(writeFile(scancodeResource, base));
        preferencesFile = m_dir.filePath(QStringLiteral("preferences.plist"));
        timing.afterFileWrite = 0ms;
        timing.afterScancodes = 0ms;
        timing.mountProbeDelay = 0ms;
        timing.settingsDelay = 0ms;
    }

    void TearDown() override
    {
        if (device) {
            // A test that blocked the writer has let it go by now.
            device.reset();
        }
    }

    // Makes the device; with `mounted` the keyboard volume is there from the start.
    KDKeyboardDevice &start(bool mounted = true)
    {
        auto monitor = std::make_unique<FakeVolumeMonitor>();
        volumes = monitor.get();
        if (mounted)
            volumes->mount({volume->root(), kKeyboardSource}, kKeyboardIdentity);
        KDKeyboardDevice::Environment environment;
        environment.volumes = std::move(monitor);
        environment.modifierMapping = &modifierMapping;
        environment.displayIndexes = {{QStringLiteral("CapsLock"), 59},
                                      {QStringLiteral("ShiftLeft"), 75},
                                      {QStringLiteral("CtrlLeft"), 102},
                                      {QStringLiteral("F2"), 3}};
        environment.scancodeResource = scancodeResource;
        environment.preferencesFile = preferencesFile;
        environment.timing = timing;
        device = std::make_unique<KDKeyboardDevice>(std::move(environment));
        settle();
        return *device;
    }

    // Lets timers run and the writer finish what they queued.
    void settle()
    {
        for (int i = 0; i < 3; ++i) {
            test::settle(0ms);
            ASSERT_TRUE(device->waitUntilIdle(5s));
        }
        test::settle(0ms);
    }

    QByteArray display(int n) const { return volume->readDisplay(n).value_or(QByteArray()); }

    std::unique_ptr<SimulatedVolume> volume;
    FakeVolumeMonitor *volumes = nullptr;
    std::unique_ptr<KDKeyboardDevice> device;
    QString scancodeResource;
    QString preferencesFile;
    FakeX11Session session;
    KDModifierMappingReader modifierMapping{session};
    KDKeyboardDevice::Timing timing;

private:
    QTemporaryDir m_dir;
};

// --- start-up

TEST_F(DeviceTest, StartUpTakesTheDisplaysAndWritesTheKeyCodes)
{
    DriveWatcher watcher;
    KDKeyboardDevice &keyboard = start();
    EXPECT_EQ(keyboard.lumivoxVirtualDrivePath(), volume->root());
    EXPECT_EQ(volume->readLayout(), QByteArray(114, '\x01'));
    EXPECT_EQ(readFile(volume->scancodePath()), KDScancodeTable::build(scancodeResource));
    EXPECT_EQ(readFile(volume->root() + QStringLiteral("/vLumivox/order.sys")), QByteArray("s0030"));
    EXPECT_EQ(watcher.found(), 0) << "the volume found at start-up is not announced";
}

TEST_F(DeviceTest, StartUpWithoutKeyboardWritesNothing)
{
    KDKeyboardDevice &keyboard = start(false);
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::red)), 5);
    settle();
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
    EXPECT_EQ(volume->readLayout(), QByteArray(114, '\0'));
    EXPECT_EQ(display(5), QByteArray(4608, '\0'));
    EXPECT_EQ(keyboard.statistics().fileWrites, 0u);
}

// --- the key-code table

// The driver's own records over the resource's table; a resource of the wrong size is no base.
TEST(ScancodeBase, OnlyAWholeResourceIsTheBase)
{
    for (const QByteArray &resource : {QByteArray(9216, '\x55'), QByteArray(100, '\x55'), QByteArray()}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("scancode.sys"));
        ASSERT_TRUE(resource.isEmpty() || writeFile(path, resource));
        const QByteArray table = KDScancodeTable::build(path);
        ASSERT_EQ(table.size(), 9216);
        EXPECT_EQ(table.at(5 * 64 + 3), resource.size() == 9216 ? '\x55' : '\0') << resource.size();
    }
}

// --- settings

TEST_F(DeviceTest, SettingsFromThePreferencesReachTheKeyboardInOrder)
{
    PropertyList::writeFile(preferencesFile,
                            QVariantMap{{QStringLiteral("KeyboardBrightness"), 70},
                                        {QStringLiteral("AutoAdjustKeyboardBrightness"), true},
                                        {QStringLiteral("KeyboardSleepTimeout"), 300},
                                        {QStringLiteral("WakeOnWhenMouseMoves"), true}});
    PipeRecorder orders(volume->root() + QStringLiteral("/vLumivox/order.sys"));
    ASSERT_TRUE(orders.isValid());
    KDKeyboardDevice &keyboard = start();
    // Brightness and sleep share one queue slot; neither replaces the other.
    EXPECT_EQ(orders.take(), QByteArray("b070As0300"));
    EXPECT_EQ(keyboard.brightness(), 70);
    EXPECT_TRUE(keyboard.wakeUpByMouse());

    // Two brightness changes before the writer runs: only the newer is sent.
    auto blocker = KCLumivoxImage::create(solidImage(Qt::red));
    {
        auto focus = blocker->lockFocus();
        keyboard.showImage(blocker, 9);
        keyboard.setBrightness(20, false);
        keyboard.setSleepTimeout(60, false);
        keyboard.setBrightness(40, true);
    }
    settle();
    EXPECT_EQ(orders.take(), QByteArray("b040As0060"));
}

struct PreferenceRow
{
    const char *name;
    QVariantMap preferences = {};
    int brightness = 100;
    bool autoAdjust = true;
    int sleepTime = 30;
    bool wakeUpByMouse = false;
    const char *logged = "";
};

class PreferenceTypesTest : public DeviceTest, public ::testing::WithParamInterface<PreferenceRow>
{
};

TEST_P(PreferenceTypesTest, WrongTypesFallBackToDefaults)
{
    PropertyList::writeFile(preferencesFile, GetParam().preferences);
    LogCapture log;
    KDKeyboardDevice &keyboard = start();
    EXPECT_EQ(keyboard.brightness(), GetParam().brightness);
    EXPECT_EQ(keyboard.autoAdjust(), GetParam().autoAdjust);
    EXPECT_EQ(keyboard.sleepTime(), GetParam().sleepTime);
    EXPECT_EQ(keyboard.wakeUpByMouse(), GetParam().wakeUpByMouse);
    if (*GetParam().logged) {
        EXPECT_EQ(log.count(QLatin1String(GetParam().logged)), 1);
    }
}

const QVariantMap kDictionary{{QStringLiteral("a"), 1}};
// clang-format off
const PreferenceRow kPreferenceRows[] = {
    {.name = "empty"},
    {.name = "stringBrightness", .preferences = {{"KeyboardBrightness", "bright"}}, .logged = "KeyboardBrightness is not a number"},
    {.name = "realTimeoutNumericFlag", .preferences = {{"KeyboardSleepTimeout", 45.0}, {"WakeOnWhenMouseMoves", 1}, {"AutoAdjustKeyboardBrightness", false}}, .autoAdjust = false, .sleepTime = 45, .wakeUpByMouse = true},
    {.name = "dictionaryFlag", .preferences = {{"AutoAdjustKeyboardBrightness", kDictionary}}, .logged = "AutoAdjustKeyboardBrightness is not a boolean"},
    {.name = "outOfRange", .preferences = {{"KeyboardBrightness", 250}, {"KeyboardSleepTimeout", -4}}, .sleepTime = 0, .logged = "Brightness 250 is out of range"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, PreferenceTypesTest, ::testing::ValuesIn(kPreferenceRows), RowName());

TEST_F(DeviceTest, AnUnreadablePreferencesFileMeansDefaults)
{
    ASSERT_TRUE(writeFile(preferencesFile, QByteArray("<plist><dict><key>KeyboardBrightness")));
    LogCapture log;
    KDKeyboardDevice &keyboard = start();
    EXPECT_EQ(keyboard.brightness(), 100);
    EXPECT_EQ(log.count(QStringLiteral("cannot be read; defaults are used")), 1);
}

// --- commands

TEST_F(DeviceTest, CommandsChangeBrightnessAndSleep)
{
    KDKeyboardDevice &keyboard = start();
    QSignalSpy idle(&keyboard, &KDKeyboardDevice::idleSubscriptionChanged);
    auto &center = NotificationCenter::defaultCenter();
    const QString orderPath = volume->root() + QStringLiteral("/vLumivox/order.sys");

    EXPECT_TRUE(center.post(notifications::configuratorSaid(commands::ChangeBrightness), {},
                            {{commands::keys::Value, 5}, {commands::keys::Auto, false}}));
    settle();
    EXPECT_EQ(readFile(orderPath), QByteArray("b005"));

    // A missing wake-by-mouse flag means false.
    EXPECT_TRUE(center.post(notifications::configuratorSaid(commands::ChangeSleepTimeout), {},
                            {{commands::keys::Value, 300}}));
    settle();
    EXPECT_EQ(readFile(orderPath), QByteArray("s0300"));
    EXPECT_FALSE(keyboard.wakeUpByMouse());
    ASSERT_EQ(idle.count(), 1);
    EXPECT_EQ(idle.at(0).at(0).toInt(), 201);

    // The user coming back re-sends the sleep order only when waking by mouse.
    ASSERT_TRUE(writeFile(orderPath, QByteArray()));
    center.post(QStringLiteral("IDLE_TIME_RESET_NOTIFICATION"));
    settle();
    EXPECT_EQ(readFile(orderPath), QByteArray());
    center.post(notifications::configuratorSaid(commands::ChangeSleepTimeout), {},
                {{commands::keys::Value, 90}, {commands::keys::WakeOnWhenMouseMoves, true}});
    settle();
    ASSERT_TRUE(writeFile(orderPath, QByteArray()));
    center.post(QStringLiteral("IDLE_TIME_RESET_NOTIFICATION"));
    settle();
    EXPECT_EQ(readFile(orderPath), QByteArray("s0090"));
}

TEST_F(DeviceTest, MalformedCommandsStopWithAMessage)
{
    KDKeyboardDevice &keyboard = start();
    LogCapture log;
    auto &center = NotificationCenter::defaultCenter();
    EXPECT_FALSE(center.post(notifications::configuratorSaid(commands::ChangeBrightness)));
    EXPECT_FALSE(center.post(notifications::configuratorSaid(commands::ChangeSleepTimeout), {},
                             {{commands::keys::Value, QStringLiteral("soon")}}));
    EXPECT_EQ(log.count(QStringLiteral("ChangeBrightness command doesn't have a numeric Value")), 1);
    EXPECT_EQ(log.count(QStringLiteral("ChangeSleepTimeout command doesn't have a numeric Value")), 1);
    EXPECT_EQ(keyboard.brightness(), 100);
    EXPECT_EQ(keyboard.sleepTime(), 30);
}

TEST_F(DeviceTest, ForceDeviceStopForgetsTheKeyboard)
{
    KDKeyboardDevice &keyboard = start();
    DriveWatcher watcher;
    NotificationCenter::defaultCenter().post(notifications::configuratorSaid(commands::ForceDeviceStop));
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
    EXPECT_EQ(watcher.lost(), 1);
}

// --- pictures

TEST_F(DeviceTest, TwoPicturesForOneDisplayBeforeTheWriterRunsMakeOneWrite)
{
    KDKeyboardDevice &keyboard = start();
    const auto before = keyboard.statistics().pictureWrites;
    auto blocker = KCLumivoxImage::create(solidImage(Qt::red));
    const QImage blue = solidImage(Qt::blue);
    {
        // The writer stops at the first picture while its lock is held here.
        auto focus = blocker->lockFocus();
        keyboard.showImage(blocker, 5);
        keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::green)), 7);
        keyboard.showImage(KCLumivoxImage::create(blue), 7);
    }
    settle();
    EXPECT_EQ(keyboard.statistics().pictureWrites - before, 2u);
    EXPECT_EQ(display(7), referenceEncoding(blue, false));
    EXPECT_EQ(display(5), referenceEncoding(solidImage(Qt::red), false));
}

TEST_F(DeviceTest, IdenticalPictureIsSkipped)
{
    KDKeyboardDevice &keyboard = start();
    const QImage image = noiseImage(3);
    auto picture = KCLumivoxImage::create(image);
    keyboard.showImage(picture, 4);
    settle();
    ASSERT_EQ(display(4), referenceEncoding(image, false));
    const auto written = keyboard.statistics().pictureWrites;

    // Another picture with the same pixels.
    keyboard.showImage(KCLumivoxImage::create(image), 4);
    settle();
    EXPECT_EQ(keyboard.statistics().pictureWrites, written);
    EXPECT_EQ(keyboard.statistics().identicalPictures, 1u);
}

TEST_F(DeviceTest, TurnedDisplaysGetTurnedPictures)
{
    KDKeyboardDevice &keyboard = start();
    const QImage image = noiseImage(11);
    auto picture = KCLumivoxImage::create(image);
    // One picture shown on a turned and an upright display in a row.
    for (int n : {3, 4})
        keyboard.showImage(picture, n);
    settle();
    EXPECT_EQ(display(3), referenceEncoding(image, true));
    EXPECT_EQ(display(4), referenceEncoding(image, false));
}

struct MappingRow
{
    const char *name;
    QHash<QString, QString> modifierMap = {};
    QHash<int, QList<int>> expected = {};
};

class OledMappingTest : public ::testing::TestWithParam<MappingRow>
{
};

TEST_P(OledMappingTest, EachKeyShowsThePictureOfTheKeyItActsAs)
{
    const QHash<QString, int> displays{{"CapsLock", 59}, {"ShiftLeft", 75}, {"CtrlLeft", 102}};
    EXPECT_EQ(KDKeyboardDevice::buildOledMapping(GetParam().modifierMap, displays), GetParam().expected);
}

// Caps Lock acting as Control: both keys show Control and no key shows Caps Lock. A source key
// without a display has nothing to redirect.
// clang-format off
const MappingRow kMappingRows[] = {
    {.name = "none"},
    {.name = "capsToControl", .modifierMap = {{"CapsLock", "CtrlLeft"}}, .expected = {{59, {}}, {102, {59, 102}}}},
    {.name = "capsToNothing", .modifierMap = {{"CapsLock", "None"}}, .expected = {{59, {}}}},
    {.name = "sourceWithoutDisplay", .modifierMap = {{"Fn", "CtrlLeft"}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, OledMappingTest, ::testing::ValuesIn(kMappingRows), RowName());

TEST_F(DeviceTest, RedirectedDisplaysFollowTheSessionsSetting)
{
    using namespace modifier_codes;
    session.setModifierRemapping(std::vector<ModifierRemapEntry>{{CapsLock, CtrlLeft}, {CtrlLeft, CapsLock}});
    KDKeyboardDevice &keyboard = start();
    const auto before = keyboard.statistics().pictureWrites;
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::red)), 59);
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::green)), 102);
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::green)), 0);
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::green)), 115);
    keyboard.showImage(nullptr, 8);
    settle();
    EXPECT_EQ(keyboard.statistics().pictureWrites - before, 2u);
    EXPECT_EQ(display(102), referenceEncoding(solidImage(Qt::red), false));
    EXPECT_EQ(display(59), referenceEncoding(solidImage(Qt::green), false));

    // The Control key loses its function: it goes dark, and Caps Lock's picture has no key.
    session.setModifierRemapping(std::vector<ModifierRemapEntry>{{CapsLock, CtrlLeft}, {CtrlLeft, None}});
    settle();
    EXPECT_EQ(display(102), QByteArray(4608, '\0'));
    EXPECT_EQ(display(59), referenceEncoding(solidImage(Qt::green), false));
    session.setModifierRemapping(std::vector<ModifierRemapEntry>{});
    settle();
    EXPECT_EQ(display(59), referenceEncoding(solidImage(Qt::red), false));
    EXPECT_EQ(display(102), referenceEncoding(solidImage(Qt::green), false));
}

// --- volumes coming and going

TEST_F(DeviceTest, AnUnrelatedVolumeChangesNothing)
{
    DriveWatcher watcher;
    KDKeyboardDevice &keyboard = start();
    const int identified = volumes->identifyCount();
    QTemporaryDir stick;
    volumes->mount({stick.path(), QStringLiteral("/dev/sdc1")}, kStickIdentity);
    settle();
    EXPECT_EQ(volumes->identifyCount(), identified) << "no probe while the keyboard is known";
    volumes->unmount(stick.path());
    settle();
    EXPECT_EQ(keyboard.lumivoxVirtualDrivePath(), volume->root());
    EXPECT_EQ(watcher.found() + watcher.lost(), 0);
}

TEST_F(DeviceTest, WithoutKeyboardAnUnrelatedVolumeIsProbedOnce)
{
    DriveWatcher watcher;
    KDKeyboardDevice &keyboard = start(false);
    QTemporaryDir stick;
    volumes->mount({stick.path(), QStringLiteral("/dev/sdc1")}, kStickIdentity);
    settle();
    EXPECT_EQ(volumes->identifyCount(), 1);
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
    EXPECT_EQ(watcher.found(), 0);
}

TEST_F(DeviceTest, AProbeThatComesTooEarlyIsRepeated)
{
    DriveWatcher watcher;
    timing.mountProbeDelay = 30ms;
    KDKeyboardDevice &keyboard = start(false);
    // The system does not know the device yet at the first probe.
    volumes->mount({volume->root(), kKeyboardSource});
    ASSERT_TRUE(waitUntil([&] { return volumes->identifyCount() >= 1; }));
    volumes->setIdentity(kKeyboardSource, kKeyboardIdentity);
    ASSERT_TRUE(waitUntil([&] { return watcher.found() == 1; }));
    settle();
    EXPECT_EQ(keyboard.lumivoxVirtualDrivePath(), volume->root());
}

TEST_F(DeviceTest, DisplayFilesThatAppearLateAreWaitedFor)
{
    DriveWatcher watcher;
    timing.mountProbeDelay = 50ms;
    KDKeyboardDevice &keyboard = start(false);
    LogCapture log;
    const QString moved = volume->displayPath(60) + QStringLiteral(".later");
    ASSERT_TRUE(QFile::rename(volume->displayPath(60), moved));
    volumes->mount({volume->root(), kKeyboardSource}, kKeyboardIdentity);
    ASSERT_TRUE(waitUntil([&] { return log.count(QStringLiteral("openDynamicSysFiles error")) >= 1; }));
    EXPECT_EQ(watcher.found(), 0);
    ASSERT_TRUE(QFile::rename(moved, volume->displayPath(60)));
    ASSERT_TRUE(waitUntil([&] { return watcher.found() == 1; }));
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::white)), 60);
    settle();
    EXPECT_EQ(display(60), QByteArray(4608, '\xFF'));
}

TEST_F(DeviceTest, UnmountOfTheKeyboardClearsAndRemountRepaints)
{
    DriveWatcher watcher;
    KDKeyboardDevice &keyboard = start();
    const QImage image = noiseImage(5);
    keyboard.showImage(KCLumivoxImage::create(image), 20);
    settle();
    volumes->unmount(volume->root());
    EXPECT_EQ(watcher.lost(), 1);
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
    // While the keyboard is away pictures still arrive; they are shown once it is back.
    const QImage newer = noiseImage(6);
    keyboard.showImage(KCLumivoxImage::create(newer), 21);
    settle();
    ASSERT_TRUE(writeFile(volume->displayPath(20), QByteArray(4608, '\0')));
    volumes->mount({volume->root(), kKeyboardSource});
    settle();
    EXPECT_EQ(watcher.found(), 1);
    EXPECT_EQ(display(20), referenceEncoding(image, false));
    EXPECT_EQ(display(21), referenceEncoding(newer, false));
}

TEST_F(DeviceTest, DesktopSwitchOutHandsTheDisplaysBackAtOnce)
{
    DriveWatcher watcher;
    KDKeyboardDevice &keyboard = start();
    auto blocker = KCLumivoxImage::create(solidImage(Qt::red));
    {
        auto focus = blocker->lockFocus();
        keyboard.showImage(blocker, 30);
        keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::green)), 31);
        keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::green)), 32);
        volumes->setSessionActive(false);
        EXPECT_FALSE(keyboard.userLoggedIn());
        EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
        EXPECT_EQ(watcher.lost(), 1);
    }
    settle();
    EXPECT_EQ(volume->readLayout(), QByteArray(114, '\0'));
    EXPECT_EQ(display(31), QByteArray(4608, '\0')) << "queued pictures are dropped";
    EXPECT_EQ(display(32), QByteArray(4608, '\0'));

    // Mounts while switched out are not probed.
    volumes->unmount(volume->root());
    volumes->mount({volume->root(), kKeyboardSource});
    settle();
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());

    volumes->setSessionActive(true);
    settle();
    EXPECT_TRUE(keyboard.userLoggedIn());
    EXPECT_EQ(watcher.found(), 1);
    EXPECT_EQ(volume->readLayout(), QByteArray(114, '\x01'));
    EXPECT_EQ(display(31), referenceEncoding(solidImage(Qt::green), false));
}

// --- faults

TEST_F(DeviceTest, SevenFailedWritesInARowCountAsDisconnection)
{
    // A display file that cannot be opened leaves the volume without display files after the last
    // probe; every picture write then fails.
    timing.probeAttempts = 1;
    ASSERT_TRUE(QFile::remove(volume->displayPath(114)));
    ASSERT_TRUE(QDir().mkpath(volume->displayPath(114)));
    LogCapture log;
    KDKeyboardDevice &keyboard = start(false);
    DriveWatcher watcher;
    volumes->mount({volume->root(), kKeyboardSource}, kKeyboardIdentity);
    settle();
    ASSERT_EQ(watcher.found(), 1);
    EXPECT_EQ(log.count(QStringLiteral("openDynamicSysFiles error")), 1);

    for (int i = 1; i <= 6; ++i)
        keyboard.showImage(KCLumivoxImage::create(noiseImage(100 + i)), i);
    settle();
    EXPECT_EQ(log.count(QStringLiteral("error writing to image sys-file")), 6);
    EXPECT_EQ(watcher.lost(), 0);
    EXPECT_TRUE(keyboard.lumivoxVirtualDrivePath());

    keyboard.showImage(KCLumivoxImage::create(noiseImage(107)), 7);
    settle();
    ASSERT_TRUE(waitUntil([&] { return watcher.lost() == 1; }));
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
    EXPECT_EQ(keyboard.statistics().failedPictureWrites, 7u);
}

TEST_F(DeviceTest, AFailedLayoutWriteClearsTheState)
{
    KDKeyboardDevice &keyboard = start();
    DriveWatcher watcher;
    LogCapture log;
    ASSERT_TRUE(QFile::remove(volume->layoutPath()));
    ASSERT_TRUE(QDir().mkpath(volume->layoutPath()));
    keyboard.setLayoutSys(true);
    settle();
    ASSERT_TRUE(waitUntil([&] { return watcher.lost() == 1; }));
    EXPECT_EQ(log.count(QStringLiteral("Error in setLayoutSysInternal:")), 1);
    EXPECT_FALSE(keyboard.lumivoxVirtualDrivePath());
}

TEST_F(DeviceTest, AStuckWriteNeverHoldsUpTheMainThread)
{
    // Display 9 is a pipe nobody reads: the writer waits in front of it until it is drained.
    PipeRecorder stuck(volume->displayPath(9));
    ASSERT_TRUE(stuck.isValid());
    KDKeyboardDevice &keyboard = start();
    const int filler = ::open(QFile::encodeName(volume->displayPath(9)).constData(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    const QByteArray chunk(4096, 'x');
    while (::write(filler, chunk.constData(), chunk.size()) > 0) {
    }
    ASSERT_EQ(errno, EAGAIN);

    LogCapture log;
    keyboard.showImage(KCLumivoxImage::create(solidImage(Qt::red)), 9);
    test::settle(0ms);
    // Everything the main thread does meanwhile returns, and queues behind the stuck write.
    for (int i = 0; i < 50; ++i) {
        keyboard.showImage(KCLumivoxImage::create(noiseImage(i)), 10);
        keyboard.setBrightness(i, true);
        keyboard.setLayoutSys(true);
    }
    EXPECT_EQ(display(10), QByteArray(4608, '\0'));
    EXPECT_FALSE(keyboard.waitUntilIdle(50ms));

    stuck.take();
    settle();
    EXPECT_EQ(display(10), referenceEncoding(noiseImage(49), false));
    EXPECT_EQ(log.count(QStringLiteral("error writing to image sys-file")), 1)
        << "a pipe cannot be rewritten in place";
    ::close(filler);
}

TEST_F(DeviceTest, TerminationFinishesTheQueueAndHandsTheDisplaysBack)
{
    KDKeyboardDevice &keyboard = start();
    const QImage image = noiseImage(8);
    auto blocker = KCLumivoxImage::create(solidImage(Qt::red));
    {
        auto focus = blocker->lockFocus();
        keyboard.showImage(blocker, 40);
        keyboard.showImage(KCLumivoxImage::create(image), 41);
        keyboard.setLayoutSys(false);
        keyboard.terminate();
        keyboard.showImage(KCLumivoxImage::create(image), 42);
    }
    ASSERT_TRUE(keyboard.waitForWriter(5s));
    EXPECT_EQ(display(41), referenceEncoding(image, false));
    EXPECT_EQ(display(42), QByteArray(4608, '\0')) << "nothing is accepted after terminate";
    EXPECT_EQ(volume->readLayout(), QByteArray(114, '\0'));
}

// --- identification

struct IdentityRow
{
    const char *name;
    BlockDeviceIdentity identity;
    bool keyboard;
};

class IdentificationTest : public ::testing::TestWithParam<IdentityRow>
{
};

TEST_P(IdentificationTest, Rule)
{
    EXPECT_EQ(KDKeyboardDevice::isLumivoxDisk(GetParam().identity), GetParam().keyboard);
}

const IdentityRow kIdentityRows[] = {
    {.name = "nxp", .identity = {true, "NXP Semi", "LPC288x Disk"}, .keyboard = true},
    {.name = "harwick", .identity = {true, "Harwick", "QV113 V.Disk"}, .keyboard = true},
    {.name = "fixedDisk", .identity = {false, "NXP Semi", "LPC288x Disk"}, .keyboard = false},
    {.name = "crossedVendor", .identity = {true, "NXP Semi", "QV113 V.Disk"}, .keyboard = false},
    {.name = "crossedProduct", .identity = {true, "Harwick", "LPC288x Disk"}, .keyboard = false},
};

INSTANTIATE_TEST_SUITE_P(Rows, IdentificationTest, ::testing::ValuesIn(kIdentityRows), RowName());

} // namespace
