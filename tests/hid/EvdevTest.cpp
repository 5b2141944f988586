#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

#include "FakeX11Session.h"
#include "HidTestSupport.h"
#include "IOHIDWatcher.h"
#include "NotificationNames.h"
#include "NotificationRecorder.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "linux/EvdevFrameDecoder.h"
#include "linux/EvdevHidBackend.h"
#include "linux/EvdevProbe.h"

using namespace brevona;

namespace {

input_event event(int type, int code, int value)
{
    input_event e{};
    e.type = static_cast<__u16>(type);
    e.code = static_cast<__u16>(code);
    e.value = value;
    return e;
}

input_event scan(quint32 usage)
{
    return event(EV_MSC, MSC_SCAN, static_cast<int>(usage));
}

input_event keyEvent(int code, int value)
{
    return event(EV_KEY, code, value);
}

input_event report()
{
    return event(EV_SYN, SYN_REPORT, 0);
}

// What the kernel writes for one key changing on its own: scan code, key, report.
std::vector<input_event> stroke(quint32 usage, int code, int value)
{
    return {scan(usage), keyEvent(code, value), report()};
}

constexpr quint32 kUsageA = 0x70004;
constexpr quint32 kUsageB = 0x70005;
constexpr quint32 kUsageF13 = 0x70068; // no name in the table
constexpr quint32 kUsageShiftLeft = 0x700E1;
constexpr quint32 kUsageWord = 0xC0184;
constexpr quint32 kUsageMute = 0xC00E2; // no name in the table

const std::vector<EvdevProbe::KeymapEntry> kKeyboardKeymap = {{0x70000, KEY_RESERVED},
                                                              {kUsageA, KEY_A},
                                                              {kUsageB, KEY_B},
                                                              {kUsageF13, KEY_F13},
                                                              {kUsageShiftLeft, KEY_LEFTSHIFT}};
const std::vector<EvdevProbe::KeymapEntry> kConsumerKeymap = {{kUsageMute, KEY_MUTE},
                                                              {kUsageWord, KEY_WORDPROCESSOR}};

// --- the decoder, event by event

struct DecoderCase
{
    const char *name;
    std::vector<input_event> events;
    std::vector<EvdevKeyChange> changes; // of all completed frames, in order
    int frames;
    bool resync;
};

class EvdevFrameDecoderTest : public ::testing::TestWithParam<DecoderCase>
{
};

TEST_P(EvdevFrameDecoderTest, TurnsEventsIntoUsageChanges)
{
    EvdevFrameDecoder decoder(EvdevProbe::usageForKeyCode(kKeyboardKeymap));
    std::vector<EvdevKeyChange> changes;
    int frames = 0;
    bool resync = false;
    for (const input_event &e : GetParam().events) {
        EvdevFrame frame;
        if (decoder.feed(e, frame)) {
            ++frames;
            resync = resync || frame.resyncNeeded;
            changes.insert(changes.end(), frame.changes.begin(), frame.changes.end());
        }
    }
    EXPECT_EQ(changes, GetParam().changes);
    EXPECT_EQ(frames, GetParam().frames);
    EXPECT_EQ(resync, GetParam().resync);
}

// clang-format off
const DecoderCase kEvdevFrameDecoderRows[] = {
    {.name = "key_up", .events = stroke(kUsageA, KEY_A, 0), .changes = {{kUsageA, false}}, .frames = 1, .resync = false},
    {.name = "autorepeat_dropped", .events = {keyEvent(KEY_A, 2), report(), keyEvent(KEY_A, 2), report()}, .changes = {}, .frames = 2, .resync = false},
    {.name = "scan_code_wins_over_keymap", .events = stroke(0x70099, KEY_A, 1), .changes = {{0x70099, true}}, .frames = 1, .resync = false},
    {.name = "keymap_when_no_scan_code", .events = {keyEvent(KEY_LEFTSHIFT, 1), report()}, .changes = {{kUsageShiftLeft, true}}, .frames = 1, .resync = false},
    {.name = "unknown_key_without_scan_code", .events = {keyEvent(KEY_F20, 1), report()}, .changes = {}, .frames = 1, .resync = false},
    {.name = "two_keys_one_report", .events = {scan(kUsageShiftLeft), keyEvent(KEY_LEFTSHIFT, 1), scan(kUsageA), keyEvent(KEY_A, 1), report()}, .changes = {{kUsageShiftLeft, true}, {kUsageA, true}}, .frames = 1, .resync = false},
    {.name = "scan_code_is_for_the_next_key_only", .events = {scan(0x70099), keyEvent(KEY_B, 1), keyEvent(KEY_A, 1), report()}, .changes = {{0x70099, true}, {kUsageA, true}}, .frames = 1, .resync = false},
    {.name = "other_event_types_ignored", .events = {event(EV_LED, LED_CAPSL, 1), event(EV_MSC, MSC_TIMESTAMP, 1234), event(EV_REL, REL_X, 3), report()}, .changes = {}, .frames = 1, .resync = false},
    {.name = "unfinished_report_waits", .events = {scan(kUsageA), keyEvent(KEY_A, 1)}, .changes = {}, .frames = 0, .resync = false},
    {.name = "dropped_events_until_the_report", .events = {scan(kUsageA), keyEvent(KEY_A, 1), event(EV_SYN, SYN_DROPPED, 0), scan(kUsageB), keyEvent(KEY_B, 1), report(), scan(kUsageB), keyEvent(KEY_B, 0), report()}, .changes = {{kUsageB, false}}, .frames = 2, .resync = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, EvdevFrameDecoderTest, ::testing::ValuesIn(kEvdevFrameDecoderRows),
                         brevona::test::RowName());

// --- what the key capabilities make of an event device

struct CapabilitiesCase
{
    const char *name;
    std::vector<int> keys;
    int primaryUsage;
};

class PrimaryUsageTest : public ::testing::TestWithParam<CapabilitiesCase>
{
};

TEST_P(PrimaryUsageTest, ToldApartByTheirKeys)
{
    EvdevProbe::KeyBits bits;
    for (int key : GetParam().keys)
        bits.set(key);
    EXPECT_EQ(EvdevProbe::primaryUsageForKeys(bits), GetParam().primaryUsage);
}

std::vector<int> keyboardKeys()
{
    std::vector<int> keys;
    for (int key = KEY_ESC; key <= KEY_KPDOT; ++key)
        keys.push_back(key);
    return keys;
}

std::vector<int> withKeys(std::vector<int> keys, std::initializer_list<int> more)
{
    keys.insert(keys.end(), more);
    return keys;
}

// clang-format off
const CapabilitiesCase kPrimaryUsageRows[] = {
    {.name = "keyboard", .keys = keyboardKeys(), .primaryUsage = 6},
    {.name = "keyboard_with_media_keys", .keys = withKeys(keyboardKeys(), {KEY_MUTE, KEY_CALC}), .primaryUsage = 6},
    {.name = "consumer_control", .keys = {KEY_MUTE, KEY_VOLUMEUP, KEY_WORDPROCESSOR, KEY_SAVE}, .primaryUsage = 1},
    {.name = "system_control", .keys = {KEY_POWER, KEY_SLEEP, KEY_WAKEUP}, .primaryUsage = 0},
    {.name = "nothing", .keys = {}, .primaryUsage = 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, PrimaryUsageTest, ::testing::ValuesIn(kPrimaryUsageRows),
                         brevona::test::RowName());

TEST(EvdevProbeTest, ParsesSysfsKeyCapabilities)
{
    // A keyboard's capabilities/key as sysfs writes it: most significant word first.
    const auto keyboard =
        EvdevProbe::parseCapabilities("1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe\n");
    ASSERT_TRUE(keyboard);
    EXPECT_FALSE(keyboard->test(KEY_RESERVED));
    EXPECT_TRUE(keyboard->test(KEY_ESC));
    EXPECT_TRUE(keyboard->test(KEY_SPACE));

    const auto words = EvdevProbe::parseCapabilities("1 0");
    ASSERT_TRUE(words);
    EXPECT_EQ(words->count(), 1u);
    EXPECT_TRUE(words->test(sizeof(unsigned long) * 8));

    EXPECT_TRUE(EvdevProbe::parseCapabilities("0")->none());
    EXPECT_FALSE(EvdevProbe::parseCapabilities("12 zz"));
}

// --- recorded events through a pipe into the watcher

class RecordedEventsTest : public ::testing::Test
{
protected:
    // A pipe stands for one interface's event node; the write end plays the
    // device.
    int attach(const HidServiceProperties &properties, const std::vector<EvdevProbe::KeymapEntry> &keymap,
               const std::vector<int> &held = {})
    {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        backend.attachEventDevice(fds[0], properties, keymap, held);
        m_writers.push_back(fds[1]);
        return fds[1];
    }
    void start()
    {
        watcher = IOHIDWatcher::create(backend, test::sampleUsageTable(), session);
        ASSERT_TRUE(watcher);
    }
    static void write(int fd, const std::vector<input_event> &events)
    {
        const auto bytes = static_cast<ssize_t>(events.size() * sizeof(input_event));
        ASSERT_EQ(::write(fd, events.data(), bytes), bytes);
    }
    void unplug(int fd)
    {
        ::close(fd);
        std::erase(m_writers, fd);
    }
    bool waitForEvents(int count)
    {
        return test::waitUntil([&] { return recorder.entries().size() >= count; });
    }
    // Lets the readers take whatever is in the pipes.
    void settle() { test::settle(std::chrono::milliseconds(100)); }

    void TearDown() override
    {
        watcher.reset();
        for (int fd : m_writers)
            ::close(fd);
    }

    EvdevHidBackend backend{EvdevHidBackend::Discovery::None};
    FakeX11Session session;
    std::unique_ptr<IOHIDWatcher> watcher;
    test::NotificationRecorder recorder{{notifications::HidKeyDown, notifications::HidKeyUp,
                                         notifications::HidKeyDownSpecial, notifications::HidKeyUpSpecial},
                                        {"down", "up", "down*", "up*"}};

private:
    std::vector<int> m_writers;
};

TEST_F(RecordedEventsTest, EventsSplitAcrossReadsStayWhole)
{
    const int keyboard = attach({0x04D9, 0x0022, 6}, kKeyboardKeymap);
    start();
    const std::vector<input_event> events = stroke(kUsageShiftLeft, KEY_LEFTSHIFT, 1);
    const auto *bytes = reinterpret_cast<const char *>(events.data());
    const size_t total = events.size() * sizeof(input_event);
    const size_t cut = sizeof(input_event) + 5;
    ASSERT_EQ(::write(keyboard, bytes, cut), static_cast<ssize_t>(cut));
    settle();
    EXPECT_TRUE(recorder.entries().isEmpty());
    ASSERT_EQ(::write(keyboard, bytes + cut, total - cut), static_cast<ssize_t>(total - cut));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(recorder.entries(), (QStringList{"down ShiftLeft"}));
}

TEST_F(RecordedEventsTest, MultimediaPressAndReleaseInOneRead)
{
    attach({0x04D9, 0x0022, 6}, kKeyboardKeymap);
    const int consumer = attach({0x04D9, 0x0022, 1}, kConsumerKeymap);
    start();
    std::vector<input_event> tap = stroke(kUsageWord, KEY_WORDPROCESSOR, 1);
    const std::vector<input_event> release = stroke(kUsageWord, KEY_WORDPROCESSOR, 0);
    tap.insert(tap.end(), release.begin(), release.end());
    write(consumer, tap);
    ASSERT_TRUE(waitForEvents(2));
    settle();
    EXPECT_EQ(recorder.entries(), (QStringList{"down Word*", "up Word*"}));
}

TEST_F(RecordedEventsTest, KeysHeldAtAttachAreKnown)
{
    attach({0x04D9, 0x0022, 6}, kKeyboardKeymap, {KEY_LEFTSHIFT});
    start();
    EXPECT_TRUE(watcher->shiftState());
    EXPECT_FALSE(watcher->isKeyPressed("A"));
    EXPECT_TRUE(recorder.entries().isEmpty());
}

TEST_F(RecordedEventsTest, AClosedEventNodeDetachesItsInterface)
{
    const int keyboard = attach({0x04D9, 0x0022, 6}, kKeyboardKeymap);
    const int consumer = attach({0x04D9, 0x0022, 1}, kConsumerKeymap);
    start();
    unplug(consumer);
    ASSERT_TRUE(test::waitUntil([&] { return watcher->multimediaEntry() == 0; }));
    EXPECT_TRUE(watcher->isKeyboardConnected());
    unplug(keyboard);
    ASSERT_TRUE(test::waitUntil([&] { return !watcher->isKeyboardConnected(); }));
    EXPECT_TRUE(backend.attachedEntries().isEmpty());
}

} // namespace
