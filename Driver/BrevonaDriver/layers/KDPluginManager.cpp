#include "KDPluginManager.h"

#include "KCPluginProtocol.h"
#include "Paths.h"
#include "PluginBundle.h"

namespace brevona {

KDPluginManager &KDPluginManager::sharedInstance()
{
    static KDPluginManager manager;
    return manager;
}

KDPluginManager::KDPluginManager()
{
    loadPlugins();
}

KDPluginManager::~KDPluginManager() = default;

QStringList KDPluginManager::getSearchPaths()
{
    return {Paths::driverSystemPluginFolder(), Paths::userPluginFolder()};
}

void KDPluginManager::loadPlugins()
{
    m_catalog.scan(getSearchPaths());
}

std::shared_ptr<PluginBundle> KDPluginManager::bundleBySignature(const QString &signature) const
{
    return m_catalog.bundleBySignature(signature);
}

QString KDPluginManager::className(const QString &signature)
{
    return PluginBundle::className(signature);
}

std::unique_ptr<KCPluginProtocol> KDPluginManager::createInstance(const QString &signature,
                                                                  KCPluginButtonProtocol *button)
{
    return m_catalog.createInstance(signature, button);
}

} // namespace brevona
