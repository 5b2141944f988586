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
};
