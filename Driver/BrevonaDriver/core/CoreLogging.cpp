#include "CoreLogging.h"

Q_LOGGING_CATEGORY(lcCore, "brevona.driver.core")
