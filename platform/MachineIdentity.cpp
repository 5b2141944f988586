#include "MachineIdentity.h"

#include <atomic>

#include "linux/LinuxMachineIdentity.h"

namespace brevona {

namespace {

std::atomic<MachineIdentity *> g_installed{nullptr};

} // namespace

MachineIdentity &MachineIdentity::instance()
{
    if (MachineIdentity *installed = g_installed.load(std::memory_order_acquire))
        return *installed;
    static LinuxMachineIdentity linuxIdentity;
    return linuxIdentity;
}

void MachineIdentity::setInstance(MachineIdentity *identity)
{
    g_installed.store(identity, std::memory_order_release);
}

} // namespace brevona
