#pragma once

#include <QLoggingCategory>

// The configurator's software updates: the version check, the release notes and the installation.
Q_DECLARE_LOGGING_CATEGORY(lcUpdates)
