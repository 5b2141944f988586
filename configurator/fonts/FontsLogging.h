#pragma once

#include <QLoggingCategory>

// The font and label editors' logging category (brevona.configurator.fonts).
Q_DECLARE_LOGGING_CATEGORY(lcFonts)
