#include "KCPluginSettingsTrampoline.h"

#include <QTimer>

#include "CommandNames.h"
#include "DriverCommandSink.h"

namespace brevona {

KCPluginSettingsTrampoline::KCPluginSettingsTrampoline(DriverCommandSink &driver, QObject *parent)
    : QObject(parent)
    , m_driver(driver)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &KCPluginSettingsTrampoline::flush);
}

KCPluginSettingsTrampoline::~KCPluginSettingsTrampoline()
{
    flush();
}

void KCPluginSettingsTrampoline::schedule(const QString &layerIdentifier, const QString &buttonName,
                                          const QString &side, const QVariantMap &changed)
{
    if (layerIdentifier != m_layer)
        flush();
    m_layer = layerIdentifier;
    QVariantMap button = m_buttons.value(buttonName).toMap();
    QVariantMap settings = button.value(side).toMap();
    for (auto it = changed.cbegin(); it != changed.cend(); ++it)
        settings.insert(it.key(), it.value());
    button.insert(side, settings);
    m_buttons.insert(buttonName, button);
    m_timer->start();
}

void KCPluginSettingsTrampoline::flush()
{
    m_timer->stop();
    if (m_buttons.isEmpty())
        return;
    const QVariantMap info{{QStringLiteral("Buttons"), m_buttons}, {QStringLiteral("LayerId"), m_layer}};
    m_buttons.clear();
    m_driver.sendCommand(commands::PluginSettings, info);
}

} // namespace brevona
