#include "StoreLogging.h"

Q_LOGGING_CATEGORY(lcStore, "brevona.configurator.store")
