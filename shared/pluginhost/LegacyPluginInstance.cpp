#include "LegacyPluginInstance.h"

#include "KCPluginModule.h"

namespace brevona {

std::unique_ptr<KCPluginProtocol> LegacyPluginInstance::adopt(KCPluginProtocol *instance,
                                                              int interfaceVersion)
{
    if (!instance || interfaceVersion >= BREVONA_PLUGIN_INTERFACE_VERSION)
        return std::unique_ptr<KCPluginProtocol>(instance);
    return std::unique_ptr<KCPluginProtocol>(
        new LegacyPluginInstance(instance, operationsOfInterface(interfaceVersion)));
}

unsigned LegacyPluginInstance::operationsOfInterface(int version)
{
    // Interface 2 added an operation of the host only.
    unsigned operations = SetValueForKey | SetValuesForKeys | Activate | KeyActions;
    if (version >= 3)
        operations |= ValueForKey | ValidateValue;
    return operations;
}

LegacyPluginInstance::LegacyPluginInstance(KCPluginProtocol *plugin, unsigned operations)
    : m_plugin(plugin)
    , m_operations(operations)
{}

unsigned LegacyPluginInstance::operations() const
{
    return m_plugin->operations() & m_operations;
}

void LegacyPluginInstance::setValue(const QVariant &value, const QString &key)
{
    m_plugin->setValue(value, key);
}

void LegacyPluginInstance::setValuesForKeysWithDictionary(const QVariantMap &settings)
{
    m_plugin->setValuesForKeysWithDictionary(settings);
}

void LegacyPluginInstance::activate()
{
    m_plugin->activate();
}

void LegacyPluginInstance::deactivate()
{
    m_plugin->deactivate();
}

void LegacyPluginInstance::onKeyDown()
{
    m_plugin->onKeyDown();
}

void LegacyPluginInstance::onKeyUp()
{
    m_plugin->onKeyUp();
}

} // namespace brevona
