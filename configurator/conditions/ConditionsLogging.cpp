#include "ConditionsLogging.h"

Q_LOGGING_CATEGORY(lcConditionEditor, "brevona.configurator.conditions")
