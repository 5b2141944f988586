#pragma once

// Moved to tests/support; this forwarding header goes once no test includes it from here.
#include "../support/LogCapture.h"
