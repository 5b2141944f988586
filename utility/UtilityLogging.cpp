#include "UtilityLogging.h"

namespace brevona {

Q_LOGGING_CATEGORY(lcUtility, "brevona.utility")

} // namespace brevona
