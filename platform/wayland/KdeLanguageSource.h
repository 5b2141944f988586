#pragma once

#include <QStringList>

#include "InputLanguageSource.h"

namespace brevona {

// The keyboard layouts of KDE Plasma, from its keyboard daemon on the session bus (org.kde.keyboard,
// /Layouts, org.kde.KeyboardLayouts): the layouts by XKB name and variant (getLayoutsList), the
// index of the one in use (getLayout), and its layoutChanged and layoutListChanged signals, so
// nothing is polled. Plasma switches one layout for the whole session.
class KdeLanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    // `busAddress` empty: the session bus.
    explicit KdeLanguageSource(QString busAddress = {}, QObject *parent = nullptr);
    ~KdeLanguageSource() override;

    std::optional<QStringList> layouts() override;
    std::optional<int> currentIndex() override;
    bool notifiesChanges() const override { return true; }
    void startWatching() override;

private Q_SLOTS:
    void onLayoutChanged(uint index);
    void onLayoutListChanged();

private:
    bool ready();
    bool readLayouts();
    bool readIndex();

    QString m_connectionName;
    bool m_watching = false;
    bool m_failureLogged = false;
    std::optional<QStringList> m_layouts;
    std::optional<int> m_index;
};

} // namespace brevona
