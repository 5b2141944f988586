// sway's IPC framing and payloads, on payloads recorded from a headless sway 1.7 (trimmed to the
// fields that matter) and on the shapes its documentation gives for events a headless session
// cannot produce (key bindings, keyboards).
#include <QFile>

#include <gtest/gtest.h>

#include "TestPrinters.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayHotKeyService.h"
#include "wayland/SwayPayloads.h"

using namespace brevona;

namespace {

// ---------------------------------------------------------------- framing

struct FramingRow
{
    const char *name;
    QByteArray stream;
    // How many bytes each feed carries (0: all at once).
    int chunk;
    QList<std::pair<quint32, QByteArray>> messages;
    bool failed;
};

class I3IpcFramingTest : public ::testing::TestWithParam<FramingRow>
{
};

TEST_P(I3IpcFramingTest, TakesWholeMessagesOut)
{
    const FramingRow &row = GetParam();
    I3IpcCodec codec;
    QList<std::pair<quint32, QByteArray>> messages;
    const int chunk = row.chunk > 0 ? row.chunk : int(row.stream.size());
    for (qsizetype at = 0; at < row.stream.size(); at += chunk) {
        codec.feed(row.stream.mid(at, chunk));
        while (const auto message = codec.next())
            messages.append({message->type, message->payload});
    }
    EXPECT_EQ(messages, row.messages);
    EXPECT_EQ(codec.failed(), row.failed);
}

const QByteArray kTreeRequest("i3-ipc\0\0\0\0\x04\0\0\0", 14);
const QByteArray kSuccess = I3IpcCodec::encode(I3IpcCodec::Subscribe, R"({"success":true})");
const QByteArray kFocus = I3IpcCodec::encode(I3IpcCodec::WindowEvent, R"({"change":"focus"})");
const QByteArray kHuge = QByteArray("i3-ipc") + QByteArray("\0\0\0\x10\0\0\0\0", 8);
const QList<std::pair<quint32, QByteArray>> kBoth{{I3IpcCodec::Subscribe, R"({"success":true})"},
                                                  {I3IpcCodec::WindowEvent, R"({"change":"focus"})"}};

// clang-format off
const FramingRow kFramingRows[] = {
    {.name = "RequestWithoutPayload", .stream = kTreeRequest, .chunk = 0, .messages = {{I3IpcCodec::GetTree, ""}}, .failed = false},
    {.name = "ReplyThenEvent", .stream = kSuccess + kFocus, .chunk = 0, .messages = kBoth, .failed = false},
    // Every split of header and payload, a second message after the first.
    {.name = "ByteByByte", .stream = kSuccess + kFocus, .chunk = 1, .messages = kBoth, .failed = false},
    {.name = "IncompleteWaits", .stream = kFocus.chopped(1), .chunk = 0, .messages = {}, .failed = false},
    {.name = "WrongMagicBreaks", .stream = "i3-ipX" + kFocus.mid(6), .chunk = 0, .messages = {}, .failed = true},
    {.name = "OversizedLengthBreaks", .stream = kHuge + kFocus, .chunk = 0, .messages = {}, .failed = true},
    {.name = "NothingAfterABreak", .stream = kSuccess + "garbage-that-is-long" + kFocus, .chunk = 0, .messages = {kBoth.first()}, .failed = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, I3IpcFramingTest, ::testing::ValuesIn(kFramingRows), brevona::test::RowName());

// ---------------------------------------------------------------- windows

TEST(SwayTree, ListsEveryViewWithItsIdentity)
{
    QFile file(QStringLiteral(BREVONA_SOURCE_DIR "/tests/wayland/data/sway-tree.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto windows = SwayPayloads::windowsOfTree(file.readAll());
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 3);
    EXPECT_EQ(windows->at(0).appId, "org.example.Beta");
    EXPECT_EQ(windows->at(0).pid, 9429);
    EXPECT_FALSE(windows->at(0).focused);
    EXPECT_EQ(windows->at(1).appId, "brevona-other");
    EXPECT_TRUE(windows->at(1).focused);
    // The floating Xwayland window: no app id, its X class and instance.
    EXPECT_EQ(windows->at(2).id, 9);
    EXPECT_TRUE(windows->at(2).appId.isEmpty());
    EXPECT_EQ(windows->at(2).wmClass, "XTerm");
    EXPECT_EQ(windows->at(2).wmInstance, "xterm");
    EXPECT_FALSE(SwayPayloads::windowsOfTree("[1,2]"));
    EXPECT_FALSE(SwayPayloads::windowsOfTree("{\"nodes\":"));
}

struct WindowEventRow
{
    const char *name;
    QByteArray payload;
    bool parsed;
    const char *change = "";
    qint64 id = 0;
    const char *appId = "";
    const char *wmClass = "";
    qint64 pid = 0;
};

class SwayWindowEventTest : public ::testing::TestWithParam<WindowEventRow>
{
};

TEST_P(SwayWindowEventTest, ReadsTheView)
{
    const WindowEventRow &row = GetParam();
    const auto event = SwayPayloads::windowEvent(row.payload);
    ASSERT_EQ(event.has_value(), row.parsed);
    if (!event)
        return;
    EXPECT_EQ(event->change, QLatin1String(row.change));
    EXPECT_EQ(event->window.id, row.id);
    EXPECT_EQ(event->window.appId, QLatin1String(row.appId));
    EXPECT_EQ(event->window.wmClass, QLatin1String(row.wmClass));
    EXPECT_EQ(event->window.pid, row.pid);
}

// clang-format off
const WindowEventRow kWindowEventRows[] = {
    {.name = "New", .payload = R"({"change":"new","container":{"id":5,"type":"con","focused":false,"name":null,"nodes":[],"pid":9429,"app_id":"org.example.Beta","shell":"xdg_shell"}})", .parsed = true, .change = "new", .id = 5, .appId = "org.example.Beta", .pid = 9429},
    {.name = "Xwayland", .payload = R"({"change":"focus","container":{"id":9,"type":"floating_con","pid":4242,"app_id":null,"shell":"xwayland","window_properties":{"class":"XTerm","instance":"xterm"}}})", .parsed = true, .change = "focus", .id = 9, .wmClass = "XTerm", .pid = 4242},
    {.name = "NoPidIsZero", .payload = R"({"change":"new","container":{"id":7,"type":"con","app_id":"foot"}})", .parsed = true, .change = "new", .id = 7, .appId = "foot", .pid = 0},
    {.name = "SplitContainerIsNoView", .payload = R"({"change":"focus","container":{"id":8,"type":"con","nodes":[{"id":5}]}})", .parsed = false},
    {.name = "WorkspaceIsNoView", .payload = R"({"change":"focus","container":{"id":4,"type":"workspace","app_id":"x"}})", .parsed = false},
    {.name = "NoChange", .payload = R"({"container":{"id":5,"type":"con","app_id":"a"}})", .parsed = false},
    {.name = "NotJson", .payload = "focus", .parsed = false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SwayWindowEventTest, ::testing::ValuesIn(kWindowEventRows),
                         brevona::test::RowName());

struct WorkspaceRow
{
    const char *name;
    QByteArray payload;
    bool empty;
};

class SwayWorkspaceEventTest : public ::testing::TestWithParam<WorkspaceRow>
{
};

TEST_P(SwayWorkspaceEventTest, TellsAnEmptyWorkspace)
{
    EXPECT_EQ(SwayPayloads::focusesEmptyWorkspace(GetParam().payload), GetParam().empty);
}

// clang-format off
const WorkspaceRow kWorkspaceRows[] = {
    {.name = "FocusOnEmpty", .payload = R"({"change":"focus","current":{"id":7,"type":"workspace","name":"2","nodes":[],"floating_nodes":[]}})", .empty = true},
    {.name = "FocusOnWindows", .payload = R"({"change":"focus","current":{"id":4,"type":"workspace","nodes":[{"id":5,"type":"con","app_id":"a","nodes":[]}],"floating_nodes":[]}})", .empty = false},
    {.name = "FocusOnFloatingOnly", .payload = R"({"change":"focus","current":{"id":4,"type":"workspace","nodes":[],"floating_nodes":[{"id":9,"type":"floating_con","app_id":"a"}]}})", .empty = false},
    {.name = "Init", .payload = R"({"change":"init","current":{"id":7,"type":"workspace","nodes":[]}})", .empty = false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SwayWorkspaceEventTest, ::testing::ValuesIn(kWorkspaceRows),
                         brevona::test::RowName());

// ---------------------------------------------------------------- keyboards

TEST(SwayInputs, ListsKeyboardsOnly)
{
    const QByteArray payload = R"j([
        {"identifier":"0:0:wlr_virtual_pointer","type":"pointer","name":"pointer"},
        {"identifier":"1:1:AT_Translated_Set_2_keyboard","type":"keyboard","xkb_layout_names":["English (US)","German"],"xkb_active_layout_index":1,"xkb_active_layout_name":"German"},
        {"identifier":"4617:8963:Keyboard","type":"keyboard","xkb_layout_names":["French"],"xkb_active_layout_index":0}
    ])j";
    const auto keyboards = SwayPayloads::keyboardsOfInputs(payload);
    ASSERT_TRUE(keyboards);
    ASSERT_EQ(keyboards->size(), 2);
    EXPECT_EQ(keyboards->at(0).identifier, "1:1:AT_Translated_Set_2_keyboard");
    EXPECT_EQ(keyboards->at(0).layoutNames, QStringList({"English (US)", "German"}));
    EXPECT_EQ(keyboards->at(0).activeIndex, 1);
    EXPECT_EQ(keyboards->at(1).layoutNames, QStringList({"French"}));
    // A headless sway has no input devices at all.
    EXPECT_EQ(SwayPayloads::keyboardsOfInputs("[\n]")->size(), 0);
    EXPECT_FALSE(SwayPayloads::keyboardsOfInputs(R"({"type":"keyboard"})"));
}

struct InputEventRow
{
    const char *name;
    QByteArray payload;
    bool parsed;
    const char *change = "";
    int activeIndex = -1;
};

class SwayInputEventTest : public ::testing::TestWithParam<InputEventRow>
{
};

TEST_P(SwayInputEventTest, ReadsTheKeyboard)
{
    const auto event = SwayPayloads::inputEvent(GetParam().payload);
    ASSERT_EQ(event.has_value(), GetParam().parsed);
    if (!event)
        return;
    EXPECT_EQ(event->change, QLatin1String(GetParam().change));
    EXPECT_EQ(event->keyboard.activeIndex, GetParam().activeIndex);
}

// clang-format off
const InputEventRow kInputEventRows[] = {
    {.name = "LayoutSwitched", .payload = R"j({"change":"xkb_layout","input":{"identifier":"1:1:kb","type":"keyboard","xkb_layout_names":["English (US)","German"],"xkb_active_layout_index":1}})j", .parsed = true, .change = "xkb_layout", .activeIndex = 1},
    {.name = "Removed", .payload = R"({"change":"removed","input":{"identifier":"1:1:kb","type":"keyboard"}})", .parsed = true, .change = "removed", .activeIndex = -1},
    {.name = "PointerIgnored", .payload = R"({"change":"added","input":{"identifier":"2:2:mouse","type":"pointer"}})", .parsed = false},
    {.name = "NotJson", .payload = "xkb_layout", .parsed = false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SwayInputEventTest, ::testing::ValuesIn(kInputEventRows),
                         brevona::test::RowName());

// ---------------------------------------------------------------- hot keys

struct BindingRow
{
    const char *name;
    QByteArray payload;
    std::optional<HotKeyService::Reference> reference; // for process 4711
};

class SwayBindingEventTest : public ::testing::TestWithParam<BindingRow>
{
};

TEST_P(SwayBindingEventTest, FindsTheHotKeyOfThisProcess)
{
    const auto command = SwayPayloads::boundCommand(GetParam().payload);
    const auto reference = command ? SwayHotKeyService::referenceOf(*command, 4711) : std::nullopt;
    EXPECT_EQ(reference, GetParam().reference);
}

// clang-format off
const BindingRow kBindingRows[] = {
    {.name = "Ours", .payload = R"({"change":"run","binding":{"command":"nop brevona-hotkey-4711-3","event_state_mask":["Mod4","Shift"],"input_code":38,"symbol":null,"input_type":"keyboard"}})", .reference = 3},
    {.name = "AnotherProcess", .payload = R"({"change":"run","binding":{"command":"nop brevona-hotkey-47110-3","input_code":38}})", .reference = std::nullopt},
    {.name = "UsersOwnBinding", .payload = R"({"change":"run","binding":{"command":"exec foot","input_code":36}})", .reference = std::nullopt},
    {.name = "NoNumber", .payload = R"({"change":"run","binding":{"command":"nop brevona-hotkey-4711-x"}})", .reference = std::nullopt},
    {.name = "NotRun", .payload = R"({"change":"other","binding":{"command":"nop brevona-hotkey-4711-3"}})", .reference = std::nullopt},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SwayBindingEventTest, ::testing::ValuesIn(kBindingRows),
                         brevona::test::RowName());

struct CombinationRow
{
    const char *name;
    int keyCode;
    int modifiers;
    const char *combination;
};

class SwayCombinationTest : public ::testing::TestWithParam<CombinationRow>
{
};

TEST_P(SwayCombinationTest, NamesModifiersAsSwayDoes)
{
    EXPECT_EQ(SwayHotKeyService::combination(GetParam().keyCode, GetParam().modifiers),
              QLatin1String(GetParam().combination));
}

namespace m = hotkey_modifiers;

const CombinationRow kCombinationRows[] = {
    {"Plain", 38, 0, "38"},
    {"AllFour", 24, m::Control | m::Option | m::Shift | m::Command, "Mod4+Shift+Mod1+Ctrl+24"},
    {"CapsLockIgnored", 65, m::CapsLock | m::Option, "Mod1+65"},
};

INSTANTIATE_TEST_SUITE_P(Rows, SwayCombinationTest, ::testing::ValuesIn(kCombinationRows),
                         brevona::test::RowName());

struct CommandReplyRow
{
    const char *name;
    QByteArray payload;
    std::optional<QString> error;
};

class SwayCommandReplyTest : public ::testing::TestWithParam<CommandReplyRow>
{
};

TEST_P(SwayCommandReplyTest, TellsTheFirstError)
{
    EXPECT_EQ(SwayPayloads::commandError(GetParam().payload), GetParam().error);
}

// clang-format off
const CommandReplyRow kCommandReplyRows[] = {
    {.name = "Success", .payload = "[\n  {\n    \"success\": true\n  }\n]", .error = std::nullopt},
    {.name = "UnbindUnknown", .payload = R"([{"success":false,"parse_error":false,"error":"Could not find binding `Mod4+Shift+38` for the given flags"}])", .error = QString("Could not find binding `Mod4+Shift+38` for the given flags")},
    {.name = "SecondFails", .payload = R"([{"success":true},{"success":false,"error":"Unknown command"}])", .error = QString("Unknown command")},
    {.name = "EmptyReply", .payload = "[]", .error = QString("no reply to the command")},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SwayCommandReplyTest, ::testing::ValuesIn(kCommandReplyRows),
                         brevona::test::RowName());

} // namespace
