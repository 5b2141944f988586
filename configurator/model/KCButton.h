#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include <QImage>
#include <QString>
#include <QVariantMap>

#include "KCPluginButtonProtocol.h"

class KCPluginProtocol;

namespace brevona {

class KCButtonImage;
class KCSingleLayer;

// One key of a single layer: its own picture, the picture its display plugin draws into, and the
// display and action plugin entries ("Signature" plus "Settings") with their running instances.
// Owned by its layer through std::shared_ptr; everything but update() and getImage() is main-thread
// only.
class KCButton final : public KCPluginButtonProtocol, public std::enable_shared_from_this<KCButton>
{
public:
    enum class Side
    {
        Display,
        Action
    };

    // A new black key without plugins.
    static std::shared_ptr<KCButton> createButton(const QString &name = QString());
    ~KCButton();
    KCButton(const KCButton &) = delete;
    KCButton &operator=(const KCButton &) = delete;

    QString name() const;
    void setName(const QString &name);
    std::shared_ptr<KCSingleLayer> delegate() const;
    void setDelegate(const std::weak_ptr<KCSingleLayer> &layer);

    // The plugin's picture while a display plugin runs, else the key's own picture.
    QImage image() const;
    QImage pictureImage() const;
    // Sets the own picture; a null picture restores black and clears hasImage().
    void setImage(const QImage &picture);
    void setBlackImage();
    // An opaque 48 x 48 cell cut from a layer picture, taken as it is.
    void setCutImage(const QImage &cell);
    bool hasImage() const;

    QVariantMap displayPluginSettings() const { return m_display.settings; }
    QVariantMap actionPluginSettings() const { return m_action.settings; }
    QVariantMap pluginSettings(Side side) const;
    // Stores a plugin entry (empty: none). Another signature replaces the running instance (created
    // through the plugin host) and leaves the key inactive; the same signature keeps it. Then every
    // setting is handed to the instance, one at a time, each guarded.
    void setDisplayPluginSettings(const QVariantMap &entry);
    void setActionPluginSettings(const QVariantMap &entry);
    void setPluginSettings(Side side, const QVariantMap &entry);
    // The entry `changes` turn `entry` into: each change replaces its setting, the null marker
    // removes it; no changes remove "Settings" altogether.
    static QVariantMap mergedSettings(const QVariantMap &entry, const QVariantMap &changes);

    bool hasDisplayPlugin() const;
    KCPluginProtocol *displayPluginInstance() const { return m_display.instance.get(); }
    KCPluginProtocol *actionPluginInstance() const { return m_action.instance.get(); }
    // What the running instance of a side says it uses for a setting (its default where the key
    // stores none); invalid when there is no instance or it cannot say. For settings views.
    QVariant pluginValueForKey(Side side, const QString &key) const;
    // Lets the running instance check, and perhaps adjust, a value before a settings view stores
    // it; false refuses it. Values pass when there is no instance or it does not validate.
    bool validatePluginValue(Side side, QVariant &value, const QString &key) const;

    void activate();
    void deactivate();
    bool isActive() const { return m_isActive; }

    // KCPluginButtonProtocol: callable from any thread; reports from other threads are carried
    // to the main thread (one pending report at a time).
    KCPluginImage *getImage() override;
    void update() override;
    QString buttonIdentifier() const override { return name(); }
    // The on-screen keyboard has no device to repaint: the key shows its own picture again.
    void requestTotalRepaint() override { update(); }

private:
    struct Plugin
    {
        QVariantMap settings;
        std::unique_ptr<KCPluginProtocol> instance;
    };

    explicit KCButton(const QString &name);
    Plugin &plugin(Side side) { return side == Side::Display ? m_display : m_action; }
    const Plugin &plugin(Side side) const { return side == Side::Display ? m_display : m_action; }
    void applySettings(const Plugin &plugin) const;
    void reportUpdate();

    QString m_name;
    std::weak_ptr<KCSingleLayer> m_delegate;

    // The own picture is cut into on the layer's worker thread while the main thread reads it.
    mutable std::mutex m_pictureLock;
    QImage m_image;
    bool m_hasImage = false;
    std::unique_ptr<KCButtonImage> m_pluginImage;

    Plugin m_display;
    Plugin m_action;
    bool m_isActive = false;
    std::atomic_bool m_updateQueued = false;
};

} // namespace brevona
