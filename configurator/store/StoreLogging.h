#pragma once

#include <QLoggingCategory>

// The configurator store's logging category (brevona.configurator.store).
Q_DECLARE_LOGGING_CATEGORY(lcStore)
