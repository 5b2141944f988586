// What compositors send the driver: any byte stream frames into whole messages or breaks the
// stream, never more than was fed; any payload parses or is refused, never a crash; a message
// framed again comes out the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QLoggingCategory>

#include "wayland/HyprlandPayloads.h"
#include "wayland/I3IpcCodec.h"
#include "wayland/SwayPayloads.h"

using namespace brevona;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("brevona.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    I3IpcCodec codec;
    // Fed in two pieces, as a socket may deliver it.
    codec.feed(input.left(input.size() / 2));
    codec.feed(input.mid(input.size() / 2));
    qsizetype taken = 0;
    while (const auto message = codec.next()) {
        taken += 14 + message->payload.size();
        if (taken > input.size())
            std::abort();
        I3IpcCodec again;
        again.feed(I3IpcCodec::encode(message->type, message->payload));
        const auto same = again.next();
        if (!same || same->type != message->type || same->payload != message->payload)
            std::abort();
    }

    SwayPayloads::windowsOfTree(input);
    SwayPayloads::windowEvent(input);
    SwayPayloads::focusesEmptyWorkspace(input);
    SwayPayloads::keyboardsOfInputs(input);
    SwayPayloads::inputEvent(input);
    SwayPayloads::boundCommand(input);
    SwayPayloads::commandError(input);

    HyprlandPayloads::clients(input);
    HyprlandPayloads::activeWindow(input);
    HyprlandPayloads::keyboards(input);
    if (const auto event = HyprlandPayloads::event(input)) {
        if (event->name.isEmpty())
            std::abort();
        HyprlandPayloads::fields(event->data, 4);
    }
    return 0;
}
