#pragma once

#include <QLoggingCategory>

// The condition editor's logging category (brevona.configurator.conditions).
Q_DECLARE_LOGGING_CATEGORY(lcConditionEditor)
