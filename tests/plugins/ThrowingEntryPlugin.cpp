// A bundle whose entry function throws: the host must refuse the bundle and go on.
#include <stdexcept>

#include <KCPluginModule.h>

extern "C" __attribute__((visibility("default"))) const KCPluginModule *brevona_plugin_module()
{
    throw std::runtime_error("no module today");
}
