#include "SimLogging.h"

Q_LOGGING_CATEGORY(lcSim, "brevona.tools.sim")
