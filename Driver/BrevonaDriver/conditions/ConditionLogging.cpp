#include "ConditionLogging.h"

Q_LOGGING_CATEGORY(lcConditions, "brevona.driver.conditions")
