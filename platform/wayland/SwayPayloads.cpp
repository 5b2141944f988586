#include "SwayPayloads.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace brevona {

namespace {

// Deeper trees are not sway's; the walk stops there rather than exhaust the stack.
constexpr int kMaximumDepth = 64;

std::optional<QJsonDocument> parse(const QByteArray &payload)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

bool isView(const QJsonObject &node)
{
    const QString type = node.value(QLatin1String("type")).toString();
    if (type != QLatin1String("con") && type != QLatin1String("floating_con"))
        return false;
    // Containers that split the workspace have neither an app id nor X window properties.
    return node.value(QLatin1String("app_id")).isString() ||
           node.value(QLatin1String("window_properties")).isObject();
}

SwayPayloads::Window windowOf(const QJsonObject &node)
{
    SwayPayloads::Window window;
    window.id = node.value(QLatin1String("id")).toInteger();
    window.appId = node.value(QLatin1String("app_id")).toString();
    const QJsonObject properties = node.value(QLatin1String("window_properties")).toObject();
    window.wmClass = properties.value(QLatin1String("class")).toString();
    window.wmInstance = properties.value(QLatin1String("instance")).toString();
    window.pid = qMax<qint64>(0, node.value(QLatin1String("pid")).toInteger());
    window.focused = node.value(QLatin1String("focused")).toBool();
    return window;
}

void collect(const QJsonObject &node, int depth, QList<SwayPayloads::Window> &windows)
{
    if (depth > kMaximumDepth)
        return;
    if (isView(node))
        windows.append(windowOf(node));
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray())
            collect(child.toObject(), depth + 1, windows);
    }
}

SwayPayloads::Keyboard keyboardOf(const QJsonObject &input)
{
    SwayPayloads::Keyboard keyboard;
    keyboard.identifier = input.value(QLatin1String("identifier")).toString();
    for (const QJsonValue &name : input.value(QLatin1String("xkb_layout_names")).toArray())
        keyboard.layoutNames.append(name.toString());
    keyboard.activeIndex = input.value(QLatin1String("xkb_active_layout_index")).toInt(-1);
    return keyboard;
}

bool isKeyboard(const QJsonObject &input)
{
    return input.value(QLatin1String("type")).toString() == QLatin1String("keyboard");
}

} // namespace

std::optional<QList<SwayPayloads::Window>> SwayPayloads::windowsOfTree(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return std::nullopt;
    QList<Window> windows;
    collect(document->object(), 0, windows);
    return windows;
}

std::optional<SwayPayloads::WindowEvent> SwayPayloads::windowEvent(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return std::nullopt;
    const QJsonObject event = document->object();
    const QJsonObject container = event.value(QLatin1String("container")).toObject();
    if (!event.value(QLatin1String("change")).isString() || !isView(container))
        return std::nullopt;
    return WindowEvent{event.value(QLatin1String("change")).toString(), windowOf(container)};
}

bool SwayPayloads::focusesEmptyWorkspace(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return false;
    const QJsonObject event = document->object();
    if (event.value(QLatin1String("change")).toString() != QLatin1String("focus"))
        return false;
    const QJsonObject current = event.value(QLatin1String("current")).toObject();
    if (current.value(QLatin1String("type")).toString() != QLatin1String("workspace"))
        return false;
    QList<Window> windows;
    collect(current, 0, windows);
    return windows.isEmpty();
}

std::optional<QList<SwayPayloads::Keyboard>> SwayPayloads::keyboardsOfInputs(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isArray())
        return std::nullopt;
    QList<Keyboard> keyboards;
    for (const QJsonValue &value : document->array()) {
        const QJsonObject input = value.toObject();
        if (isKeyboard(input))
            keyboards.append(keyboardOf(input));
    }
    return keyboards;
}

std::optional<SwayPayloads::InputEvent> SwayPayloads::inputEvent(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return std::nullopt;
    const QJsonObject event = document->object();
    const QJsonObject input = event.value(QLatin1String("input")).toObject();
    if (!event.value(QLatin1String("change")).isString() || !isKeyboard(input))
        return std::nullopt;
    return InputEvent{event.value(QLatin1String("change")).toString(), keyboardOf(input)};
}

std::optional<QString> SwayPayloads::boundCommand(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isObject())
        return std::nullopt;
    const QJsonObject event = document->object();
    const QJsonValue command =
        event.value(QLatin1String("binding")).toObject().value(QLatin1String("command"));
    if (event.value(QLatin1String("change")).toString() != QLatin1String("run") || !command.isString())
        return std::nullopt;
    return command.toString();
}

std::optional<QString> SwayPayloads::commandError(const QByteArray &payload)
{
    const auto document = parse(payload);
    if (!document || !document->isArray() || document->array().isEmpty())
        return QStringLiteral("no reply to the command");
    for (const QJsonValue &value : document->array()) {
        const QJsonObject result = value.toObject();
        if (!result.value(QLatin1String("success")).toBool()) {
            const QString error = result.value(QLatin1String("error")).toString();
            return error.isEmpty() ? QStringLiteral("the command failed") : error;
        }
    }
    return std::nullopt;
}

} // namespace brevona
