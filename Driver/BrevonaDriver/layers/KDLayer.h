#pragma once

#include <map>
#include <memory>

#include <QString>

#include "KDContext.h"

namespace brevona {

class KDButton;
class KDLayerPicture;

class KDLayer : public KDContext
{
public:
    using Buttons = std::map<QString, std::shared_ptr<KDButton>>;

    // Loads "Layer.plist" and "Main.tiff" of the folder; nothing (and one log line) when
    // "Layer.plist" is missing or not a dictionary.
    static std::shared_ptr<KDLayer> createWithDirectory(const QString &directory);
    ~KDLayer() override;

    const Buttons &getButtons() const { return m_buttons; }
    bool isHybrid() const { return m_isHybrid; }
    int segment() const { return m_segment; }
    bool isLanguageLayer() const;

    void setHybrid(bool hybrid);
    void setSegment(int segment);

    // Buttons from a decoded "Buttons" dictionary, their pictures cells of the layer picture.
    void initializeButtonsWithPlist(const QVariantMap &buttons,
                                    const std::shared_ptr<KDLayerPicture> &layerPicture);

    // Moves the button of `sourceKey` to `targetKey` of `target`; a button already there swaps
    // places with it. A key this layer does not define moves nothing.
    void moveButton(const QString &sourceKey, KDLayer &target, const QString &targetKey);

    QString description() const override;

protected:
    explicit KDLayer(const QString &directory);
    void startLayerObserving();
    Buttons &buttons() { return m_buttons; }

private:
    bool load();
    void onButtonsDeleted(Notification &notification);
    void onButtonsChanged(Notification &notification);
    void onPluginSettings(Notification &notification);
    void onLayerHybridStateChanged(Notification &notification);
    void onUpdateHybridSegments(Notification &notification);
    bool isOurMessage(const Notification &notification) const;

    Buttons m_buttons;
    bool m_isHybrid = false;
    int m_segment = -2;
};

} // namespace brevona
