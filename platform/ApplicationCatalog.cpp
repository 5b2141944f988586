#include "ApplicationCatalog.h"

#include <atomic>

#include "linux/XdgApplicationCatalog.h"

namespace brevona {

namespace {

std::atomic<ApplicationCatalog *> g_installed = nullptr;

} // namespace

ApplicationCatalog::~ApplicationCatalog() = default;

ApplicationCatalog &ApplicationCatalog::instance()
{
    if (ApplicationCatalog *installed = g_installed.load())
        return *installed;
    // Never destroyed: a scan on another thread may still use it while the process ends.
    static auto *desktop = new XdgApplicationCatalog();
    return *desktop;
}

void ApplicationCatalog::setInstance(ApplicationCatalog *catalog)
{
    g_installed = catalog;
}

} // namespace brevona
