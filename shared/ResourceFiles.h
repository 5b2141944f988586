#pragma once

#include <QString>

namespace brevona::resourcefiles {

// Files of the keyboard data set that the resource generator writes into the resource folder and
// the programs read from it.
inline const QString ButtonData = QStringLiteral("LumivoxBrevonaData.plist");
inline const QString Geometry = QStringLiteral("LumivoxBrevonaType.plist");
inline const QString UsageTable = QStringLiteral("LumivoxUsageTable.plist");
inline const QString VirtualKeyCodes = QStringLiteral("VirtualKeyCodes.plist");
inline const QString DefaultLayerData = QStringLiteral("DefaultLayerData.plist");
inline const QString OledNumbers = QStringLiteral("OLEDNumbers.plist");
inline const QString MiniPreview = QStringLiteral("LumivoxBrevonaMiniPreview.plist");
inline const QString ScancodeTable = QStringLiteral("scancode.sys");
inline const QString WhiteKeyboard = QStringLiteral("LumivoxBrevonaWhite.png");
inline const QString BlackKeyboard = QStringLiteral("LumivoxBrevonaBlack.png");
inline const QString DrawMask = QStringLiteral("KeyboardDrawMask.tiff");
inline const QString SmallPreview = QStringLiteral("keyboardPreviewSmall.png");
inline const QString LoadingPicture = QStringLiteral("Loading48x48.png");
// The stock pictures for keys: 48 x 48 tiles, 5 per row, 6 rows.
inline const QString IconLibrary = QStringLiteral("IconLibrary.png");
// The frame behind a plugin dragged from the plugin tables (its icon goes 5 in and 6 down), and
// the 48 x 48 stand-in for a plugin without an icon of its own.
inline const QString PluginItemMask = QStringLiteral("PluginItemMask.png");
inline const QString UnknownPluginIcon = QStringLiteral("Unknown48x48.png");

} // namespace brevona::resourcefiles
