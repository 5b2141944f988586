#include "DeviceLogging.h"

Q_LOGGING_CATEGORY(lcDevice, "brevona.driver.device")
