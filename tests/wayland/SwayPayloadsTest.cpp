// sway's IPC framing and payloads, on payloads recorded from a headless sway 1.7 (trimmed to the
// fields that matter) and on the shapes its documentation gives for events a headless session
// cannot produce (key bindings, keyboards). Each row writes out what one reader makes of a
// payload; what an ordinary session sends is read end to end against a real sway
// (HeadlessSwayTest), and the fuzz target takes what no compositor sends.
#include <QFile>

#include <gtest/gtest.h>

#include "TestPrinters.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayHotKeyService.h"
#include "wayland/SwayPayloads.h"

using namespace brevona;

namespace {

// Fed one byte at a time, so that every split of header and payload comes by: each message as
// "type:payload", then "broken" when the stream broke.
QString framed(const QByteArray &stream)
{
    I3IpcCodec codec;
    QStringList messages;
    for (const char byte : stream) {
        codec.feed(QByteArray(1, byte));
        while (const auto message = codec.next())
            messages.append(QString::number(message->type, 16) + ':' + QString::fromUtf8(message->payload));
    }
    if (codec.failed())
        messages.append(QStringLiteral("broken"));
    return messages.join(' ');
}

QString window(const SwayPayloads::Window &view)
{
    return QStringLiteral("%1 %2 %3/%4 pid %5%6")
        .arg(view.id)
        .arg(view.appId, view.wmClass, view.wmInstance)
        .arg(view.pid)
        .arg(view.focused ? " focused" : "");
}

QString tree(const QByteArray &payload)
{
    QStringList views;
    for (const SwayPayloads::Window &view :
         SwayPayloads::windowsOfTree(payload).value_or(QList<SwayPayloads::Window>()))
        views.append(window(view));
    return views.join(", ");
}

QString windowEvent(const QByteArray &payload)
{
    const auto event = SwayPayloads::windowEvent(payload);
    return event ? event->change + ' ' + window(event->window) : QStringLiteral("none");
}

QString workspaceEvent(const QByteArray &payload)
{
    return SwayPayloads::focusesEmptyWorkspace(payload) ? QStringLiteral("empty") : QStringLiteral("windows");
}

QString inputs(const QByteArray &payload)
{
    QStringList keyboards;
    for (const SwayPayloads::Keyboard &keyboard :
         SwayPayloads::keyboardsOfInputs(payload).value_or(QList<SwayPayloads::Keyboard>()))
        keyboards.append(keyboard.identifier + ' ' + keyboard.layoutNames.join('|') + " at " +
                         QString::number(keyboard.activeIndex));
    return keyboards.join(", ");
}

// The hot key that a binding event presses in process 4711.
QString bindingEvent(const QByteArray &payload)
{
    const auto command = SwayPayloads::boundCommand(payload);
    const auto reference = command ? SwayHotKeyService::referenceOf(*command, 4711) : std::nullopt;
    return reference ? QString::number(*reference) : QStringLiteral("none");
}

QString commandReply(const QByteArray &payload)
{
    return SwayPayloads::commandError(payload).value_or(QStringLiteral("success"));
}

QByteArray recorded(const char *file)
{
    QFile recording(QStringLiteral(BREVONA_SOURCE_DIR "/tests/wayland/data/") + QLatin1String(file));
    return recording.open(QIODevice::ReadOnly) ? recording.readAll() : QByteArray();
}

struct PayloadRow
{
    const char *name;
    QString (*read)(const QByteArray &);
    QByteArray payload;
    const char *reads;
};

class SwayPayloadTest : public ::testing::TestWithParam<PayloadRow>
{
};

TEST_P(SwayPayloadTest, ReadsWhatMatters)
{
    EXPECT_EQ(GetParam().read(GetParam().payload), QString::fromUtf8(GetParam().reads));
}

const QByteArray kSuccess = I3IpcCodec::encode(I3IpcCodec::Subscribe, R"({"success":true})");
const QByteArray kFocus = I3IpcCodec::encode(I3IpcCodec::WindowEvent, R"({"change":"focus"})");

// clang-format off
const PayloadRow kPayloadRows[] = {
    {.name = "ReplyThenEventSplitAnywhere", .read = framed, .payload = kSuccess + kFocus, .reads = R"(2:{"success":true} 80000003:{"change":"focus"})"},
    {.name = "OversizedLengthBreaks", .read = framed, .payload = "i3-ipc" + QByteArray("\0\0\0\x10\0\0\0\0", 8) + kFocus, .reads = "broken"},
    // No message after a break, even a whole one: the stream has lost its boundaries.
    {.name = "NothingAfterABreak", .read = framed, .payload = kSuccess + "garbage-that-is-long" + kFocus, .reads = R"(2:{"success":true} broken)"},
    // Split containers and workspaces are no views; the floating Xwayland one goes by its X class.
    {.name = "RecordedTree", .read = tree, .payload = recorded("sway-tree.json"), .reads = "5 org.example.Beta / pid 9429, 6 brevona-other / pid 9479 focused, 9  XTerm/xterm pid 4242"},
    {.name = "XwaylandWindowEvent", .read = windowEvent, .payload = R"({"change":"focus","container":{"id":9,"type":"floating_con","pid":4242,"app_id":null,"shell":"xwayland","window_properties":{"class":"XTerm","instance":"xterm"}}})", .reads = "focus 9  XTerm/xterm pid 4242"},
    {.name = "SplitContainerIsNoView", .read = windowEvent, .payload = R"({"change":"focus","container":{"id":8,"type":"con","nodes":[{"id":5}]}})", .reads = "none"},
    {.name = "FocusOnTiledWindows", .read = workspaceEvent, .payload = R"({"change":"focus","current":{"id":4,"type":"workspace","nodes":[{"id":5,"type":"con","app_id":"a","nodes":[]}],"floating_nodes":[]}})", .reads = "windows"},
    {.name = "FocusOnFloatingOnly", .read = workspaceEvent, .payload = R"({"change":"focus","current":{"id":4,"type":"workspace","nodes":[],"floating_nodes":[{"id":9,"type":"floating_con","app_id":"a"}]}})", .reads = "windows"},
    // Only a focus counts: a workspace is empty while it is being made.
    {.name = "EmptyWorkspaceMade", .read = workspaceEvent, .payload = R"({"change":"init","current":{"id":7,"type":"workspace","nodes":[]}})", .reads = "windows"},
    {.name = "PointerIsNoKeyboard", .read = inputs, .payload = R"j([{"identifier":"0:0:wlr_virtual_pointer","type":"pointer","name":"pointer"},{"identifier":"1:1:kb","type":"keyboard","xkb_layout_names":["English (US)","German"],"xkb_active_layout_index":1}])j", .reads = "1:1:kb English (US)|German at 1"},
    // The process number ends at the dash: 47110 is another process.
    {.name = "BindingOfAnotherProcess", .read = bindingEvent, .payload = R"({"change":"run","binding":{"command":"nop brevona-hotkey-47110-3","input_code":38}})", .reads = "none"},
    {.name = "SecondCommandFails", .read = commandReply, .payload = R"([{"success":true},{"success":false,"error":"Unknown command"}])", .reads = "Unknown command"},
    {.name = "EmptyReplyFails", .read = commandReply, .payload = "[]", .reads = "no reply to the command"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, SwayPayloadTest, ::testing::ValuesIn(kPayloadRows), brevona::test::RowName());

} // namespace
