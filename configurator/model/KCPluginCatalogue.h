#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "KCPluginHost.h"
#include "PluginCatalog.h"

namespace brevona {

class PluginBundle;

// The configurator's plugin catalogue: the bundles in the driver's system folder, the
// configurator's own and the user's, a later folder winning for a signature several offer (so the
// user's always does). Loads bundles with the driver's loader, so a key runs the same plugin here
// as on the keyboard. Main thread only.
class KCPluginCatalogue final : public KCPluginHost
{
public:
    // Scans the folders at once; install it with KCPluginHost::setInstance.
    KCPluginCatalogue();
    ~KCPluginCatalogue() override;

    static QStringList searchPaths();
    // Rescans the folders; bundles whose code is already loaded stay loaded.
    void reload();

    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button) override;
    std::shared_ptr<PluginBundle> bundleBySignature(const QString &signature) const;
    QStringList signatures() const { return m_catalog.signatures(); }

private:
    PluginCatalog m_catalog;
};

} // namespace brevona
