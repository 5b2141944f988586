#include "AppLogging.h"

namespace brevona {
Q_LOGGING_CATEGORY(lcApp, "brevona.configurator.app")
}
