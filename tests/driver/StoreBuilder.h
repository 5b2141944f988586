#pragma once

// Moved to tests/support; this forwarding header goes once no test includes it from here. It
// still brings what the old header brought along.
#include <QDir>
#include <QImage>
#include <QImageWriter>

#include "../support/StoreBuilder.h"
#include "PropertyList.h"
