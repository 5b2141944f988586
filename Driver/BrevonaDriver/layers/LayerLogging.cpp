#include "LayerLogging.h"

Q_LOGGING_CATEGORY(lcLayers, "brevona.driver.layers")
