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

} // namespace brevona::resourcefiles
