#pragma once

#include <QString>

namespace brevona::notifications {

// In-process notifications of the configurator's layer model; the object is the layer
// (QVariant::fromValue<KCLayer *>).
inline const QString KCButtonPluginUpdated = QStringLiteral("KCButtonPluginUpdated");
inline const QString KCLayerRestoredImage = QStringLiteral("KCLayerRestoredImageNotification");
inline const QString KCLanguageLayerAttributesHaveChanged =
    QStringLiteral("KCLanguageLayerAttributesHaveChanged");
inline const QString KCKeyboardDefaultLayerHaveChanged = QStringLiteral("KCKeyboardDefaultLayerHaveChanged");

// User-info keys of KCButtonPluginUpdated.
inline const QString ButtonNameKey = QStringLiteral("ButtonName");
inline const QString ImageKey = QStringLiteral("Image");

} // namespace brevona::notifications
