#include "HidLogging.h"

Q_LOGGING_CATEGORY(lcHid, "brevona.driver.hid")
