// A bundle built for another plugin interface: the host must refuse it.
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {
class Old : public KCPluginProtocol
{
public:
    unsigned operations() const override { return 0; }
};
KCPluginProtocol *createOld(KCPluginButtonProtocol *)
{
    return new Old;
}
const KCPluginClass classes[] = {{"BrevonaTestOld", &createOld}};
} // namespace

extern "C" __attribute__((visibility("default"))) const KCPluginModule *brevona_plugin_module()
{
    static const KCPluginModule module{BREVONA_PLUGIN_INTERFACE_VERSION + 41, classes, 1, "BrevonaTestOld",
                                       nullptr};
    return &module;
}
