#pragma once

#include <QString>

namespace brevona::mimetypes {

// The configurator's private clipboard and drag types.
inline const QString KeyboardButtons = QStringLiteral("application/x-brevona-keyboard-buttons");
inline const QString KeyboardButtonDrag = QStringLiteral("application/x-brevona-keyboard-button-drag");
inline const QString HybridZone = QStringLiteral("application/x-brevona-hybrid-zone");
// Pictures from other programs.
inline const QString Png = QStringLiteral("image/png");
inline const QString Tiff = QStringLiteral("image/tiff");

} // namespace brevona::mimetypes
