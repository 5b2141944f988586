#pragma once

#include <QLoggingCategory>

// The shared core's logging category. Each component declares its own next to its code
// (brevona.driver.device, brevona.configurator.model, ...).
Q_DECLARE_LOGGING_CATEGORY(lcShared)
