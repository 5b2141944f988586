#include "HidBackend.h"

#include "SimulatedHidBackend.h"
#include "linux/EvdevHidBackend.h"

namespace brevona {

std::unique_ptr<HidBackend> HidBackend::create(UsageResolver resolver)
{
    const QString simulated = qEnvironmentVariable("BREVONA_SIMULATED_KEYBOARD");
    if (!simulated.isEmpty())
        return std::make_unique<SimulatedHidBackend>(simulated, std::move(resolver));
    return std::make_unique<EvdevHidBackend>();
}

} // namespace brevona
