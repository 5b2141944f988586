#pragma once

#include <QStringList>

#include "InputLanguageSource.h"

namespace brevona {

// GNOME's input sources, through the Shell extension shipped in packaging/: its GetInputSources
// gives the sources in order ("de+nodeadkeys" for an XKB one, turned into "de(nodeadkeys)") and
// the index of the one in use; InputSourcesChanged says when either changes.
class GnomeLanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    explicit GnomeLanguageSource(QObject *parent = nullptr);
    ~GnomeLanguageSource() override;

    std::optional<QStringList> layouts() override;
    std::optional<int> currentIndex() override;
    bool notifiesChanges() const override { return true; }
    void startWatching() override;

    // "de+nodeadkeys" as "de(nodeadkeys)"; input methods ("ibus:anthy") as they are.
    static QString layoutOfSource(const QString &source);

private Q_SLOTS:
    void onInputSourcesChanged();

private:
    bool ready();
    bool read();

    bool m_subscribed = false;
    bool m_failureLogged = false;
    std::optional<QStringList> m_layouts;
    std::optional<int> m_index;
};

} // namespace brevona
