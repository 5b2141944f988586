#include "KeyboardLogging.h"

namespace brevona {
Q_LOGGING_CATEGORY(lcKeyboard, "brevona.configurator.keyboard")
}
