// A bundle whose classes follow no signature's name and whose principal class creates nothing.
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {
class Unrelated : public KCPluginProtocol
{
public:
    unsigned operations() const override { return 0; }
};
KCPluginProtocol *createUnrelated(KCPluginButtonProtocol *) { return new Unrelated; }
} // namespace

BREVONA_PLUGIN_MODULE("Nothing", nullptr, {{"SomethingElse", &createUnrelated}})
