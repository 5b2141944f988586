#include "SystemLogging.h"

Q_LOGGING_CATEGORY(lcSystem, "brevona.configurator.system")
