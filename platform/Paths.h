#pragma once

#include <optional>

#include <QString>

namespace brevona {

// The one place that turns the home-relative folders of the layer store, preferences, caches and
// plugins into XDG locations. Every value is read from the environment at call time so that tests
// can point HOME and the XDG variables at a temporary folder. An XDG variable that is unset, empty
// or not an absolute path is ignored, as the XDG base-directory rules require.
class Paths
{
public:
    static QString homeFolder();
    static QString dataHome();   // $XDG_DATA_HOME, else ~/.local/share
    static QString configHome(); // $XDG_CONFIG_HOME, else ~/.config
    static QString cacheHome();  // $XDG_CACHE_HOME, else ~/.cache

    static QString supportFolder();    // <data>/Lumivox
    static QString layerStoreFolder(); // <data>/Lumivox/Layers
    static QString backgroundFolder(); // <data>/Lumivox/Background
    static QString userPluginFolder(); // <data>/Lumivox/Plugins
    static QString cachesFolder();     // <cache>/Lumivox

    // <config>/<domain>.plist
    static QString preferencesFile(const QString &domain);
    static QString configuratorPreferencesFile();
    static QString configuratorPreferencesDomain();

    // System-wide plugin folders: the driver's and the configurator's differ. BREVONA_SYSTEM_PLUGIN_DIR
    // overrides the driver's.
    static QString driverSystemPluginFolder();
    static QString configuratorSystemPluginFolder();

    // Read-only program data (the keyboard data set). BREVONA_RESOURCE_DIR overrides the
    // installed location so that programs run from the build tree.
    static QString resourceFolder();

    // A private working folder (mode 0700) named `name` under $XDG_RUNTIME_DIR/brevona. Without a
    // usable runtime folder (unset, not absolute, missing, or not private to the user) the parent is
    // a folder with a random name that the process creates once in the temporary directory, so no
    // predictable name is ever used there; the result is then stable only within the process.
    // Nothing when `name` is not a single plain path component, when the folder cannot be created,
    // or when it (or its parent) exists but is a symbolic link, is not owned by the user or is open
    // to group or others.
    static std::optional<QString> privateWorkingFolder(const QString &name);
};

} // namespace brevona
