#pragma once

#include <QLoggingCategory>

// The keyboard simulator's logging category.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
