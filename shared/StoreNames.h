#pragma once

#include <QString>

namespace brevona::storenames {

// Names in the layer store, which the configurator writes and the driver reads: a group is a
// folder with a group file naming its items in order; a layer is a folder with a layer file and
// its picture. The group file lists its items under commands::keys::ItemOrder.
inline const QString GroupFile = QStringLiteral("Group.plist");
inline const QString LayerFile = QStringLiteral("Layer.plist");
inline const QString PictureFile = QStringLiteral("Main.tiff");
inline const QString DisplayName = QStringLiteral("DisplayName");

// A layer's picture holds every key display's picture at the key's place on the keyboard.
constexpr int PictureWidth = 1312;
constexpr int PictureHeight = 376;

// Built-in items: the root's background group, and the all-black layer below everything, which
// the driver takes from the folder of that name among its resources.
inline const QString DefaultsId = QStringLiteral("Defaults");
inline const QString BlackLayerId = QStringLiteral("BlackLayer");

} // namespace brevona::storenames
