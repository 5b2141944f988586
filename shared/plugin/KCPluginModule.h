#pragma once

// The entry point of a plugin bundle's shared object: one C function that lists the classes of the
// bundle by name with a factory for each. The host refuses a module built for another interface
// version.
//
//   BREVONA_PLUGIN_MODULE(principal, { {"BrevonaDisplayGeneralClock", &createClock} })
//
// Classes are found by the naming rule (the signature's dotted parts capitalised and joined); the
// principal class's createInstance is the fallback for signatures no class is named after.
//
// Interface versions: 1 is the first; 2 added KCPluginButtonProtocol::requestTotalRepaint; 3 added
// the settings views' KCPluginProtocol::valueForKey and validateValue. A host loads bundles of every
// version from the oldest it serves up to its own: an interface only grows at its end, so an older
// bundle finds everything it calls where it expects it, and the host never calls an operation that
// came after the bundle's version (its instances answer operations() without those bits).

class KCPluginButtonProtocol;
class KCPluginProtocol;

#define BREVONA_PLUGIN_INTERFACE_VERSION 3
#define BREVONA_PLUGIN_OLDEST_INTERFACE_VERSION 1
#define BREVONA_PLUGIN_ENTRY_NAME "brevona_plugin_module"

extern "C" {

typedef KCPluginProtocol *(*KCPluginFactory)(KCPluginButtonProtocol *button);
typedef KCPluginProtocol *(*KCPluginSignatureFactory)(const char *signature, KCPluginButtonProtocol *button);

struct KCPluginClass
{
    const char *name;
    KCPluginFactory initWithButton;
};

struct KCPluginModule
{
    int interfaceVersion;
    const KCPluginClass *classes;
    int classCount;
    // The principal class: its name and its createInstance:button: (may be null).
    const char *principalClass;
    KCPluginSignatureFactory createInstance;
};

typedef const KCPluginModule *(*KCPluginModuleEntry)();
}

#define BREVONA_PLUGIN_MODULE(principalName, principalFactory, ...)                                          \
    extern "C" __attribute__((visibility("default"))) const KCPluginModule *brevona_plugin_module()          \
    {                                                                                                        \
        static const KCPluginClass classes[] = __VA_ARGS__;                                                  \
        static const KCPluginModule module{BREVONA_PLUGIN_INTERFACE_VERSION, classes,                        \
                                           int(sizeof(classes) / sizeof(classes[0])), principalName,         \
                                           principalFactory};                                                \
        return &module;                                                                                      \
    }
