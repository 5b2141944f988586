#include "KCSettingsProxy.h"

#include "NullMarker.h"

namespace brevona {

KCSettingsProxyDelegate::~KCSettingsProxyDelegate() = default;

bool KCSettingsProxyDelegate::validateSetting(const QString &, QVariant &, const QString &)
{
    return true;
}

KCSettingsProxy::KCSettingsProxy(const QString &signature, KCSettingsProxyDelegate &delegate, QObject *parent)
    : QObject(parent)
    , m_signature(signature)
    , m_delegate(delegate)
{}

void KCSettingsProxy::setSettings(const QVariantMap &settings)
{
    QStringList keys = m_settings.keys();
    for (const QString &key : settings.keys()) {
        if (!keys.contains(key))
            keys.append(key);
    }
    m_settings = settings;
    for (auto it = keys.crbegin(); it != keys.crend(); ++it)
        emit settingChanged(*it);
}

QVariant KCSettingsProxy::valueForKey(const QString &key) const
{
    const auto stored = m_settings.constFind(key);
    if (stored != m_settings.cend())
        return *stored;
    return m_delegate.currentValueForSetting(m_signature, key);
}

bool KCSettingsProxy::validateValue(QVariant &value, const QString &key)
{
    return m_delegate.validateSetting(m_signature, value, key);
}

void KCSettingsProxy::setValue(const QVariant &value, const QString &key)
{
    QVariant sent = value;
    if (value.isValid() && !isNullMarker(value)) {
        m_settings.insert(key, value);
    } else {
        m_settings.remove(key);
        sent = m_delegate.currentValueForSetting(m_signature, key);
        if (!sent.isValid())
            sent = nullMarker();
    }
    emit settingChanged(key);
    m_delegate.updatePluginSettings(m_signature, {{key, sent}});
}

} // namespace brevona
