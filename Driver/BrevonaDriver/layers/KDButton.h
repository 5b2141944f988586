#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QImage>
#include <QPoint>
#include <QString>
#include <QVariant>

#include "KCPluginButtonProtocol.h"

class KCPluginProtocol;

namespace brevona {

class KCLumivoxImage;
class KDLayerPicture;
class Notification;

// One key of one layer: its 48 x 48 picture, an optional display plugin that draws it and an
// optional action plugin that runs when the key is pressed. A button reports picture changes to its
// owner: itself when it stands alone (it then sends its picture to the keyboard), or the compound
// button of the current composition that holds it.
class KDButton : public KCPluginButtonProtocol, public std::enable_shared_from_this<KDButton>
{
public:
    static constexpr int Size = 48;
    using DisplaySink = std::function<void(const std::shared_ptr<KCLumivoxImage> &, int oledIndex)>;

    // A button without plugins, black.
    static std::shared_ptr<KDButton> createWithId(const QString &identifier);
    // A button from its store entry, its picture the key's cell of `layerPicture` (black when
    // there is none).
    static std::shared_ptr<KDButton> create(const QVariantMap &entry, const QString &identifier,
                                            const std::shared_ptr<KDLayerPicture> &layerPicture);
    virtual ~KDButton();

    // Where top-level buttons send their pictures (the keyboard device in the driver).
    static void setDisplaySink(DisplaySink sink);

    const QString &identifier() const { return m_identifier; }
    // Takes the key's location and indexes from the button data table (zeros when absent).
    void setIdentifier(const QString &identifier);
    QPoint pictureLocation() const { return m_location; }
    int oledIndex() const { return m_oledIndex; }
    int keyIndex() const { return m_keyIndex; }
    int buttonKey() const { return m_buttonKey; }

    const QString &context() const { return m_context; }
    void setContext(const QString &layerIdentifier) { m_context = layerIdentifier; }
    // -2 whenever the button has an action plugin.
    int getSegment() const;
    void setSegment(int segment) { m_segment = segment; }
    // A new button is its own owner; a button taken out of a stack has none, and its reports go
    // nowhere.
    void setOwner(const std::shared_ptr<KDButton> &owner);
    bool isOwnedBy(const KDButton *owner) const;

    bool hasDisplayPlugin() const { return m_displayPlugin != nullptr; }
    bool hasActionPlugin() const { return m_actionPlugin != nullptr; }
    virtual bool isCompound() const { return false; }

    std::shared_ptr<KCLumivoxImage> image();
    void setImage(const std::shared_ptr<KCLumivoxImage> &picture);
    // The 24 x 24 reduction, cached until the picture changes.
    QImage getScaledImage();
    // Forgets the cached reduction (the picture was drawn into).
    void dropScaledImage();

    void setPluginsByPlist(const QVariant &entry);
    void changeByPlist(const QVariantMap &change);
    // Returns false when an entry names a plugin the button lacks (logged).
    bool setPluginSettingsByPlist(const QVariantMap &settings);

    virtual void activate();
    virtual void deactivate();
    bool isActivated() const { return m_isActivated; }

    // A child reports a new picture; a button that is its own owner sends it to the keyboard.
    virtual void onChildButtonUpdated(KDButton &child);

    // KCPluginButtonProtocol
    KCPluginImage *getImage() override;
    void update() override;
    QString buttonIdentifier() const override { return m_identifier; }
    // Posts "TOTAL_REPAINT_NEEDED" on the main thread's next pass: every shown key is sent again.
    void requestTotalRepaint() override;

    QString description() const;

protected:
    explicit KDButton(const QString &identifier);
    void sendToDevice(const std::shared_ptr<KCLumivoxImage> &picture);

private:
    static constexpr int MaxPictureSide = 4096;
    static constexpr int MaxPictureMegabytes = 64;

    std::unique_ptr<KCPluginProtocol> initializePluginByPlist(const QVariant &entry);
    // The picture of a change's "Image" (encoded picture data, TIFF from the configurator); a null
    // picture, after one log line, for anything else.
    QImage readPicture(const QVariant &picture) const;
    void triggerActionButton(Notification &notification);
    std::shared_ptr<KDButton> owner() const;

    QString m_identifier;
    QString m_context;
    int m_segment = -2;
    QPoint m_location;
    int m_oledIndex = 0;
    int m_keyIndex = 0;
    int m_buttonKey = 0;

    mutable std::mutex m_stateLock; // guards the picture pointer, the reduction and the owner
    std::shared_ptr<KCLumivoxImage> m_image;
    // Where the picture comes from until it is first needed: the key's cell of its layer's
    // picture, cut where the key was when the layer loaded.
    std::shared_ptr<KDLayerPicture> m_layerPicture;
    QPoint m_cellLocation;
    QImage m_scaledImage;
    enum class OwnerKind
    {
        Self,
        Other,
        None
    };
    std::weak_ptr<KDButton> m_owner;
    OwnerKind m_ownerKind = OwnerKind::Self;

    std::unique_ptr<KCPluginProtocol> m_displayPlugin;
    std::unique_ptr<KCPluginProtocol> m_actionPlugin;
    std::atomic<bool> m_isActivated = false;
    int m_actionModifiers = 0; // the layer's mask the action key was registered with
};

} // namespace brevona
