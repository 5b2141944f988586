#include "LayersLogging.h"

Q_LOGGING_CATEGORY(lcLayersTool, "brevona.tools.layers")
