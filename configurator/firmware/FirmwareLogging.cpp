#include "FirmwareLogging.h"

Q_LOGGING_CATEGORY(lcFirmware, "brevona.configurator.firmware")
