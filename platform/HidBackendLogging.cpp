#include "HidBackendLogging.h"

Q_LOGGING_CATEGORY(lcHidBackend, "brevona.platform.hid")
