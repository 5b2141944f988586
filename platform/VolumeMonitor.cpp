#include "VolumeMonitor.h"

#include "SimulatedVolumeMonitor.h"
#include "linux/LinuxVolumeMonitor.h"

Q_LOGGING_CATEGORY(lcVolumes, "brevona.platform.volumes")

namespace brevona {

VolumeMonitor::~VolumeMonitor() = default;

std::unique_ptr<VolumeMonitor> VolumeMonitor::create(QObject *parent)
{
    const QString simulated = qEnvironmentVariable("BREVONA_SIMULATED_KEYBOARD");
    if (!simulated.isEmpty()) {
        qCInfo(lcVolumes).noquote() << "Simulated keyboard volume:" << simulated;
        return std::make_unique<SimulatedVolumeMonitor>(simulated, parent);
    }
    return std::make_unique<LinuxVolumeMonitor>(parent);
}

} // namespace brevona
