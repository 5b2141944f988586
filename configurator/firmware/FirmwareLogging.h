#pragma once

#include <QLoggingCategory>

// The keyboard's firmware: versions, the image files and the upgrade.
Q_DECLARE_LOGGING_CATEGORY(lcFirmware)
