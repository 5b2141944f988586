#pragma once

#include <QImage>

namespace brevona {

// The pictures of the configurator's plugin tables: the frame a dragged plugin is drawn on
// ("PluginItemMask.png", a key cap with the plugin's 48 x 48 icon 5 in and 6 down) and the icon
// of a plugin that brings none ("Unknown48x48.png").
class PluginArtwork
{
public:
    static constexpr int MaskWidth = 58;
    static constexpr int MaskHeight = 62;
    static QImage itemMask();
    static QImage unknownIcon();
};

} // namespace brevona
