#include "KCPluginCatalogue.h"

#include "KCPluginProtocol.h"
#include "ModelLogging.h"
#include "Paths.h"
#include "PluginBundle.h"

namespace brevona {

KCPluginCatalogue::KCPluginCatalogue()
{
    reload();
}

KCPluginCatalogue::~KCPluginCatalogue() = default;

QStringList KCPluginCatalogue::searchPaths()
{
    return {Paths::driverSystemPluginFolder(), Paths::configuratorSystemPluginFolder(),
            Paths::userPluginFolder()};
}

void KCPluginCatalogue::reload()
{
    m_catalog.scan(searchPaths());
}

std::unique_ptr<KCPluginProtocol> KCPluginCatalogue::createInstance(const QString &signature,
                                                                    KCPluginButtonProtocol *button)
{
    if (!m_catalog.bundleBySignature(signature)) {
        qCWarning(lcModel).noquote()
            << QStringLiteral("No installed plugin bundle offers '%1'").arg(signature);
        return nullptr;
    }
    // The bundle logs why it made no instance; nothing a plugin throws gets past it.
    return m_catalog.createInstance(signature, button);
}

std::shared_ptr<PluginBundle> KCPluginCatalogue::bundleBySignature(const QString &signature) const
{
    return m_catalog.bundleBySignature(signature);
}

} // namespace brevona
