#include "Logging.h"

Q_LOGGING_CATEGORY(lcShared, "brevona.shared")
