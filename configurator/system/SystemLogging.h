#pragma once

#include <QLoggingCategory>

// The configurator's system helpers: applications, languages, file watching.
Q_DECLARE_LOGGING_CATEGORY(lcSystem)
