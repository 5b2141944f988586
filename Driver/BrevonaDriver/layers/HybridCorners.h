#pragma once

#include <QVariant>

namespace brevona {

// The zones in which hybrid layer pictures and the language letters draw.
class HybridCorners
{
public:
    static int imageCorner();
    static int languageCorner();

    // From a zone list of four entries naming "Layer Image" and "Current Language"; any other list
    // gives the defaults 0 and 3. Posts "UpdateHybridSegments" so every layer re-applies its state.
    static void update(const QVariant &zones);
    // From "HybridLayerZonesSetup" of the configurator's preferences file.
    static void updateFromPreferences();
    // Runs the preferences read once, on first use, and follows "HybridSetupChanged" afterwards.
    static void ensureInitialized();

private:
    static void observeSetupChanges();
};

} // namespace brevona
