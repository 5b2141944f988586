#include "HybridCorners.h"

#include "CommandInfo.h"
#include "CommandNames.h"
#include "HybridZoneSetup.h"
#include "LayerLogging.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PropertyList.h"

namespace brevona {

namespace {
int g_HybridImageCorner = 0;
int g_HybridLanguageCorner = 3;
bool g_initialized = false;
} // namespace

int HybridCorners::imageCorner()
{
    ensureInitialized();
    return g_HybridImageCorner;
}

int HybridCorners::languageCorner()
{
    ensureInitialized();
    return g_HybridLanguageCorner;
}

void HybridCorners::update(const QVariant &zones)
{
    observeSetupChanges();
    const auto list = CommandInfo::list(zones);
    if (!list && zones.isValid())
        qCWarning(lcLayers).noquote() << "Hybrid zone setup is" << CommandInfo::typeName(zones)
                                      << "instead of an array; the default zones are used";
    const QStringList names = HybridZoneSetup::effective(zones);
    g_HybridImageCorner = static_cast<int>(names.indexOf(PreferenceKeys::ZoneLayerImage));
    g_HybridLanguageCorner = static_cast<int>(names.indexOf(PreferenceKeys::ZoneCurrentLanguage));
    NotificationCenter::defaultCenter().post(notifications::UpdateHybridSegments);
}

void HybridCorners::updateFromPreferences()
{
    const auto prefs = PropertyList::readDictionary(Paths::configuratorPreferencesFile());
    update(prefs ? prefs->value(PreferenceKeys::HybridLayerZonesSetup) : QVariant());
}

void HybridCorners::observeSetupChanges()
{
    if (g_initialized)
        return;
    g_initialized = true;
    static const int observerTag = 0;
    NotificationCenter::defaultCenter().addObserver(
        &observerTag, notifications::configuratorSaid(commands::HybridSetupChanged),
        [](Notification &n) { update(n.userInfo().value(commands::keys::Zones)); });
}

void HybridCorners::ensureInitialized()
{
    if (g_initialized)
        return;
    updateFromPreferences();
}

} // namespace brevona
