#include "PluginsLogging.h"

Q_LOGGING_CATEGORY(lcPluginCatalogue, "brevona.configurator.plugins")
