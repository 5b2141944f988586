#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

class QTimer;

namespace brevona {

class DriverCommandSink;

// Sends the driver the settings views' changes as "PluginSettings", at most one command per pass
// of the event loop: changes that arrive before it goes are merged into it, per key, per side
// (display or action) and per setting, so no change is lost to a later one. A change for another
// layer sends what is pending first.
class KCPluginSettingsTrampoline : public QObject
{
    Q_OBJECT
public:
    explicit KCPluginSettingsTrampoline(DriverCommandSink &driver, QObject *parent = nullptr);
    ~KCPluginSettingsTrampoline() override;

    // `side` is "DisplayPlugin" or "ActionPlugin".
    void schedule(const QString &layerIdentifier, const QString &buttonName, const QString &side,
                  const QVariantMap &changed);
    // Sends what is pending now (before the layer is switched or the program ends).
    void flush();
    bool hasPending() const { return !m_buttons.isEmpty(); }

private:
    DriverCommandSink &m_driver;
    QTimer *m_timer = nullptr;
    QString m_layer;
    QVariantMap m_buttons; // key name -> side -> settings
};

} // namespace brevona
