#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace brevona {

// What the driver reads from Hyprland's sockets, kept apart from them so that recorded replies and
// event lines can be read without a compositor: the JSON replies of the request socket ("j/clients",
// "j/activewindow", "j/devices") and the "EVENT>>DATA" lines of the event socket. Window addresses
// are given without their "0x", as the event lines write them.
class HyprlandPayloads
{
public:
    struct Client
    {
        QString address;
        QString wmClass; // "class": the app id of a Wayland client, the X class of an Xwayland one
        QString initialClass;
        qint64 pid = 0;
        bool xwayland = false;
    };

    struct Keyboard
    {
        QString name;
        QStringList layouts;  // XKB names from "layout" and "variant": "us", "de(nodeadkeys)"
        QString activeKeymap; // the active layout's description: "German (no dead keys)"
        int activeIndex = -1; // where Hyprland gives it ("active_layout_index")
        bool main = false;
    };

    struct Event
    {
        QString name;
        QString data;
    };

    static std::optional<QList<Client>> clients(const QByteArray &payload);
    // The address of the active window; empty when none is ("{}").
    static std::optional<QString> activeWindow(const QByteArray &payload);
    static std::optional<QList<Keyboard>> keyboards(const QByteArray &payload);

    // One line of the event socket, without its line feed; nothing for a line without ">>".
    static std::optional<Event> event(const QByteArray &line);
    // The first `count` comma-separated fields of `data`, the last one taking the rest (titles
    // contain commas).
    static QStringList fields(const QString &data, int count);
    // "0x55d7a8c1e0a0" as "55d7a8c1e0a0".
    static QString address(const QString &text);
};

} // namespace brevona
