#pragma once

#include <QObject>
#include <QString>

namespace brevona {

class KCLayerManager;

// Hears the toggle announcement plugins post on the session bus and lets the layer manager flip
// that item's switch in its files. The driver hears the same announcement itself, so no command
// is sent.
class PluginToggleListener : public QObject
{
    Q_OBJECT
public:
    // False from isListening() when the session bus cannot be reached (logged).
    explicit PluginToggleListener(KCLayerManager &manager, QObject *parent = nullptr);
    ~PluginToggleListener() override;

    bool isListening() const { return m_listening; }

Q_SIGNALS:
    // The manager switched the item: whoever shows the tree shows it again.
    void toggled(const QString &identifier);

private Q_SLOTS:
    void toggleRequested(const QString &identifier);

private:
    KCLayerManager &m_manager;
    bool m_listening = false;
};

} // namespace brevona
