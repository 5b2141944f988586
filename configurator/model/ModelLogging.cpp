#include "ModelLogging.h"

Q_LOGGING_CATEGORY(lcModel, "brevona.configurator.model")
