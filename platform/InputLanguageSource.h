#pragma once

#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>

namespace brevona {

// The keyboard layouts of the user's session and the one in use. A layout is named by its XKB
// name, followed by its variant in parentheses when it has one ("us", "de(nodeadkeys)"). Main
// thread only.
class InputLanguageSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~InputLanguageSource() override;

    // The enabled layouts in the session's order; nothing when the session cannot tell.
    virtual std::optional<QStringList> layouts() = 0;
    // The index of the layout in use among layouts(); nothing when the session cannot tell.
    virtual std::optional<int> currentIndex() = 0;
    // Whether languageChanged follows every change by itself, so that nobody needs to poll.
    virtual bool notifiesChanges() const = 0;
    // Opens the session's event sources; languageChanged is emitted from then on. Idempotent.
    virtual void startWatching() = 0;

    // "de" for a layout without variant, "de(nodeadkeys)" with one.
    static QString layoutName(const QString &layout, const QString &variant);

    // The layout in use; nothing when the session cannot tell or the index names no layout.
    std::optional<QString> currentLayout();

    // The process-wide instance: the session's (X11, or the Wayland compositor's backend that
    // WaylandBackends chose) unless a test installed another (the caller keeps ownership; nullptr
    // returns to the session's). Main thread only.
    static InputLanguageSource &instance();
    static void setInstance(InputLanguageSource *source);

Q_SIGNALS:
    // The layouts or the layout in use may have changed.
    void languageChanged();
};

} // namespace brevona
