#pragma once

#include <memory>

#include <QString>

class KCPluginButtonProtocol;
class KCPluginProtocol;

namespace brevona {

// Where the model's keys get their running display and action plugins from: the configurator's
// plugin catalogue, which loads the same bundles as the driver. The model only creates instances
// through it; finding and loading bundles is the catalogue's business.
class KCPluginHost
{
public:
    virtual ~KCPluginHost();

    // A new instance of the plugin named by `signature`, hosted by `button`, or nothing when no
    // installed bundle provides it (the host logs why). Called on the main thread.
    virtual std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                             KCPluginButtonProtocol *button) = 0;

    // The process-wide host the keys use; nothing until the application installs one, and then
    // keys keep their settings without running plugins. The caller keeps ownership; nullptr
    // uninstalls. Main thread only.
    static KCPluginHost *instance();
    static void setInstance(KCPluginHost *host);
};

} // namespace brevona
