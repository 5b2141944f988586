#include "KCPluginHost.h"

namespace brevona {

namespace {
KCPluginHost *installedHost = nullptr;
}

KCPluginHost::~KCPluginHost()
{
    if (installedHost == this)
        installedHost = nullptr;
}

KCPluginHost *KCPluginHost::instance()
{
    return installedHost;
}

void KCPluginHost::setInstance(KCPluginHost *host)
{
    installedHost = host;
}

} // namespace brevona
