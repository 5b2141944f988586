#include "ExchangeLogging.h"

Q_LOGGING_CATEGORY(lcExchange, "brevona.configurator.exchange")
