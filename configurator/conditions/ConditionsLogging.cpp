#include "ConditionsLogging.h"

Q_LOGGING_CATEGORY(lcConditions, "brevona.configurator.conditions")
