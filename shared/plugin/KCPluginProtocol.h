#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

class KCPluginButtonProtocol;

// One display or action plugin instance. Every operation is optional: a plugin lists the ones it
// implements in operations(), and the host calls only those. The host guards every call; a plugin
// should still not let exceptions escape.
class KCPluginProtocol
{
public:
    enum Operation : unsigned
    {
        SetValueForKey = 1u << 0,   // setValue(value, key): once per stored setting
        SetValuesForKeys = 1u << 1, // setValuesForKeysWithDictionary: new settings from the editor
        Activate = 1u << 2,         // activate / deactivate
        KeyActions = 1u << 3,       // onKeyDown then onKeyUp when the key is pressed
        // Interface 3, for the editor's settings views:
        ValueForKey = 1u << 4,   // valueForKey: the instance's value of a setting
        ValidateValue = 1u << 5, // validateValue: checks, and may adjust, a value before it is stored
    };

    virtual ~KCPluginProtocol() = default;

    virtual unsigned operations() const = 0;

    virtual void setValue(const QVariant &value, const QString &key) { (void)value, (void)key; }
    virtual void setValuesForKeysWithDictionary(const QVariantMap &settings)
    {
        for (auto it = settings.constBegin(); it != settings.constEnd(); ++it)
            setValue(it.value(), it.key());
    }
    virtual void activate() {}
    virtual void deactivate() {}
    virtual void onKeyDown() {}
    virtual void onKeyUp() {}

    // Interface 3. New operations go after these, so that bundles built for an older interface,
    // whose objects end where that interface ended, are never called through a slot they lack.

    // The value the instance uses for `key`: the stored setting it was given, else its default; an
    // invalid value when it has none. A settings view shows it for a setting the key does not store.
    virtual QVariant valueForKey(const QString &key) const
    {
        (void)key;
        return {};
    }
    // Called before a settings view stores `value` under `key`: false refuses it (the view shows
    // the stored value again); the plugin may also replace `value` by what it would rather store,
    // e.g. a colour name normalised or a number brought into range.
    virtual bool validateValue(QVariant &value, const QString &key)
    {
        (void)value, (void)key;
        return true;
    }
};
