#include "UpdatesLogging.h"

Q_LOGGING_CATEGORY(lcUpdates, "brevona.configurator.updates")
