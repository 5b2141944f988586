#pragma once

#include <QLoggingCategory>

// The configurator model's logging category (brevona.configurator.model).
Q_DECLARE_LOGGING_CATEGORY(lcModel)
