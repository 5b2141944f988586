#include "InterfaceLogging.h"

namespace brevona {
Q_LOGGING_CATEGORY(lcInterface, "brevona.configurator.interface")
}
