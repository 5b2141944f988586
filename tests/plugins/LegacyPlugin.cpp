// A bundle built for the first plugin interface, which lacked requestTotalRepaint: it still loads.
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {
class Legacy : public KCPluginProtocol
{
public:
    unsigned operations() const override { return 0; }
};
KCPluginProtocol *createLegacy(KCPluginButtonProtocol *)
{
    return new Legacy;
}
const KCPluginClass classes[] = {{"BrevonaTestLegacy", &createLegacy}};
} // namespace

extern "C" __attribute__((visibility("default"))) const KCPluginModule *brevona_plugin_module()
{
    static const KCPluginModule module{1, classes, 1, "BrevonaTestLegacy", nullptr};
    return &module;
}
