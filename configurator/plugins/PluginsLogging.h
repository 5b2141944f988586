#pragma once

#include <QLoggingCategory>

// The configurator's plugin catalogue (brevona.configurator.plugins).
Q_DECLARE_LOGGING_CATEGORY(lcPluginCatalogue)
