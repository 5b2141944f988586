#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace brevona {

// Whoever edits the selected key's plugin settings through proxies (the display and action
// pane): it knows the key's running instances and stores what the views change.
class KCSettingsProxyDelegate
{
public:
    virtual ~KCSettingsProxyDelegate();
    // The value the selected key's running instance of `signature` has for `key`; invalid when
    // there is no such instance or it has no value.
    virtual QVariant currentValueForSetting(const QString &signature, const QString &key) = 0;
    // A view changed settings of `signature` on the selected key.
    virtual void updatePluginSettings(const QString &signature, const QVariantMap &changed) = 0;
    // Lets the selected key's running instance of `signature` check, and perhaps adjust, a value a
    // view is about to store; false refuses it. Values pass when there is no instance to ask.
    virtual bool validateSetting(const QString &signature, QVariant &value, const QString &key);
};

// The "Settings" of one plugin on the selected key, as its settings view sees them: a stored value
// where the key has one, else the running instance's own (its default). A view's change is stored
// here and handed to the delegate; clearing a setting hands on the instance's default, or the null
// marker (remove it) when the instance has none.
class KCSettingsProxy : public QObject
{
    Q_OBJECT
public:
    KCSettingsProxy(const QString &signature, KCSettingsProxyDelegate &delegate, QObject *parent = nullptr);

    const QString &signature() const { return m_signature; }
    QVariantMap settings() const { return m_settings; }
    // Replaces the settings; every key of the old or the new ones is announced as changed.
    void setSettings(const QVariantMap &settings);
    QVariant valueForKey(const QString &key) const;
    // An invalid value clears the setting.
    void setValue(const QVariant &value, const QString &key);
    // Asks the delegate whether `value` may be stored under `key`; it may adjust the value.
    bool validateValue(QVariant &value, const QString &key);

signals:
    // Bound controls show the key's value again.
    void settingChanged(const QString &key);

private:
    QString m_signature;
    KCSettingsProxyDelegate &m_delegate;
    QVariantMap m_settings;
};

} // namespace brevona
