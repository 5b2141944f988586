#include <memory>

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "KCLumivoxImage.h"
#include "KDKeyboardDevice.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Rgb565Codec.h"
#include "SimulatedVolume.h"
#include "SimulatedVolumeMonitor.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

// The device on a simulated keyboard folder, checked with the simulator's own decoder.
class SimulatedKeyboardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        volume = std::make_unique<SimulatedVolume>(m_dir.filePath(QStringLiteral("keyboard")));
        ASSERT_TRUE(volume->create(QByteArray()));
        KDKeyboardDevice::Environment environment;
        environment.volumes = std::make_unique<SimulatedVolumeMonitor>(volume->root());
        environment.scancodeResource = m_dir.filePath(QStringLiteral("missing-scancode.sys"));
        environment.preferencesFile = m_dir.filePath(QStringLiteral("missing-preferences.plist"));
        environment.timing.afterFileWrite = 0ms;
        environment.timing.afterScancodes = 0ms;
        environment.timing.mountProbeDelay = 0ms;
        environment.timing.settingsDelay = 0ms;
        device = std::make_unique<KDKeyboardDevice>(std::move(environment));
        NotificationCenter::defaultCenter().addObserver(this, notifications::DriveFound,
                                                        [this](Notification &) { ++found; });
        NotificationCenter::defaultCenter().addObserver(this, notifications::DriveLost,
                                                        [this](Notification &) { ++lost; });
    }

    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        device.reset();
    }

    void settle()
    {
        for (int i = 0; i < 3; ++i) {
            spinEvents();
            ASSERT_TRUE(device->waitUntilIdle(10s));
        }
    }

    // Every display shows its expected picture, as the simulator decodes the files.
    void expectPictures(const std::vector<QImage> &pictures)
    {
        for (int n = 1; n <= 114; ++n) {
            const auto bytes = volume->readDisplay(n);
            ASSERT_TRUE(bytes) << "display " << n;
            const auto shown = Rgb565Codec::decode(*bytes, n == 3 || n == 14);
            ASSERT_TRUE(shown);
            EXPECT_EQ(Rgb565Codec::encode(*shown, false), referenceEncoding(pictures[n - 1], false))
                << "display " << n;
        }
    }

    std::unique_ptr<SimulatedVolume> volume;
    std::unique_ptr<KDKeyboardDevice> device;
    int found = 0;
    int lost = 0;

private:
    QTemporaryDir m_dir;
};

TEST_F(SimulatedKeyboardTest, PicturesSurviveAnUnmountAndMountCycle)
{
    settle();
    ASSERT_EQ(device->lumivoxVirtualDrivePath(), volume->root());
    std::vector<QImage> pictures;
    for (int n = 1; n <= 114; ++n) {
        pictures.push_back(noiseImage(quint32(n)));
        device->showImage(KCLumivoxImage::create(pictures.back()), n);
    }
    settle();
    for (int n = 1; n <= 114; ++n)
        EXPECT_TRUE(volume->isDriven(n));
    expectPictures(pictures);

    // Unplugged: the folder's volume goes away.
    ASSERT_TRUE(QDir(volume->volumeFolder()).removeRecursively());
    ASSERT_TRUE(spinUntil([&] { return lost == 1; }));
    EXPECT_FALSE(device->lumivoxVirtualDrivePath());

    // Plugged back: a fresh volume with black displays in the keyboard's own control.
    ASSERT_TRUE(volume->create(QByteArray()));
    ASSERT_TRUE(spinUntil([&] { return found == 1; }));
    settle();
    for (int n = 1; n <= 114; ++n)
        EXPECT_TRUE(volume->isDriven(n));
    expectPictures(pictures);
}

} // namespace
