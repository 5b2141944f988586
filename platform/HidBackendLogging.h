#pragma once

#include <QLoggingCategory>

// The HID backends: device discovery, event reading, the simulated keyboard's socket.
Q_DECLARE_LOGGING_CATEGORY(lcHidBackend)
