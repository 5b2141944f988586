#pragma once

#include <QLoggingCategory>

// The layer archives' and picture exchange's logging category (brevona.configurator.exchange).
Q_DECLARE_LOGGING_CATEGORY(lcExchange)
