// A bundle whose classes follow no signature's name and whose principal class creates nothing. It is
// built for the first plugin interface, which the host still loads: what it logs is about the
// classes, not the version.
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {
class Unrelated : public KCPluginProtocol
{
public:
    unsigned operations() const override { return 0; }
};
KCPluginProtocol *createUnrelated(KCPluginButtonProtocol *)
{
    return new Unrelated;
}
const KCPluginClass classes[] = {{"SomethingElse", &createUnrelated}};
} // namespace

extern "C" __attribute__((visibility("default"))) const KCPluginModule *brevona_plugin_module()
{
    static const KCPluginModule module{BREVONA_PLUGIN_OLDEST_INTERFACE_VERSION, classes, 1, "Nothing",
                                       nullptr};
    return &module;
}
