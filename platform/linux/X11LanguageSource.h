#pragma once

#include <QStringList>

#include <xcb/xcb.h>

#include "InputLanguageSource.h"
#include "linux/X11AppEventConnection.h"

namespace brevona {

// The session's XKB layouts (the layout and variant lists of the root window's _XKB_RULES_NAMES,
// which setxkbmap and the desktops write) and the locked group, which picks one of them. Both are
// kept from XKB's state and new-keyboard events and the property's change events, so reading them
// costs nothing and a change is announced as soon as the server reports it.
class X11LanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    // `display` empty: $DISPLAY.
    explicit X11LanguageSource(QString display = {}, QObject *parent = nullptr);

    std::optional<QStringList> layouts() override;
    std::optional<int> currentIndex() override;
    bool notifiesChanges() const override { return true; }
    void startWatching() override;

    // The layout names of an _XKB_RULES_NAMES value (rules, model, layouts, variants, options).
    static QStringList layoutsOfRulesNames(const QByteArray &value);

private:
    bool ready();
    void setUp();
    void handleEvent(const xcb_generic_event_t &event);
    void readLayouts();
    void readGroup();

    X11AppEventConnection m_x;
    quint64 m_setUpGeneration = 0;
    xcb_atom_t m_rulesNamesAtom = XCB_ATOM_NONE;
    quint8 m_xkbEventBase = 0;
    bool m_xkb = false;
    bool m_xkbMissingLogged = false;
    std::optional<QStringList> m_layouts;
    std::optional<int> m_group;
};

} // namespace brevona
