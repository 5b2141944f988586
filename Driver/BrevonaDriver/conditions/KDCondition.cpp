#include "KDCondition.h"

namespace brevona {

KDCondition::~KDCondition() = default;

} // namespace brevona
