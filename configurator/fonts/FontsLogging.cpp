#include "FontsLogging.h"

Q_LOGGING_CATEGORY(lcFonts, "brevona.configurator.fonts")
