#include "ActionLogging.h"

Q_LOGGING_CATEGORY(lcActions, "brevona.driver.actions")
