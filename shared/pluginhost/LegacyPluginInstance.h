#pragma once

#include <memory>

#include "KCPluginProtocol.h"

namespace brevona {

// An instance from a bundle built for an older plugin interface, as the host holds it. Every call
// goes on to the plugin, but operations() keeps only the bits that interface defined: an older
// plugin's object ends where its interface ended, so the host must never call a later operation
// on it, whatever its own operations() claims.
class LegacyPluginInstance final : public KCPluginProtocol
{
public:
    // How the host holds `instance`, made by a bundle built for `interfaceVersion`: as it is for the
    // current interface, else wrapped. Nothing for nothing.
    static std::unique_ptr<KCPluginProtocol> adopt(KCPluginProtocol *instance, int interfaceVersion);
    // The operations interface `version` defines.
    static unsigned operationsOfInterface(int version);

    unsigned operations() const override;
    void setValue(const QVariant &value, const QString &key) override;
    void setValuesForKeysWithDictionary(const QVariantMap &settings) override;
    void activate() override;
    void deactivate() override;
    void onKeyDown() override;
    void onKeyUp() override;

private:
    LegacyPluginInstance(KCPluginProtocol *plugin, unsigned operations);

    std::unique_ptr<KCPluginProtocol> m_plugin;
    unsigned m_operations;
};

} // namespace brevona
