#include "PluginLogging.h"

Q_LOGGING_CATEGORY(lcPlugins, "brevona.plugins")
