#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <QImage>
#include <QVariantMap>

#include "KCLayer.h"

namespace brevona {

class KCButton;

// A layer of the user's: the keys it defines with their pictures and plugins, and its stored
// layer picture, which is read and cut into key pictures on a worker thread the first time one of
// its keys is shown.
//
// The stored picture goes pending (path set) -> restoring (being cut) -> restored. Whatever
// changes key pictures, and whatever composes the layer picture for saving, first brings it to
// restored (cutting it on the spot when no worker has started): composing the black keys of an
// uncut layer and saving them would blacken the stored picture.
//
// Main thread only, except the cut, which runs on a worker thread under the buttons lock.
class KCSingleLayer : public KCLayer
{
public:
    using ButtonTable = std::map<QString, std::shared_ptr<KCButton>>;

    static std::shared_ptr<KCSingleLayer> create(const QString &uuid = QString());
    ~KCSingleLayer() override;

    // The miniature keyboard with this layer's keys marked, built on first use.
    QImage icon() const override;
    void recacheIcon();
    // The picture shown for a key whose stored picture is still being read.
    static const QImage &unknownButton();

    // A "Buttons" dictionary as decoded from the store: one setInfo per entry, then the icon.
    void setButtonsInfo(const QVariantMap &buttons);
    // Creates the key when needed; a non-empty entry sets its plugins afresh.
    void setInfo(const QVariantMap &info, const QString &name);
    int numberOfButtons() const;
    ButtonTable buttons() const;
    QStringList buttonNames() const override;
    bool hasButton(const QString &name) const;
    std::shared_ptr<KCButton> buttonForName(const QString &name) const;
    // Key -> entry with "DisplayPlugin" and/or "ActionPlugin" (each only when set); a key without
    // plugins has an empty entry, which keeps it in the layer.
    QVariantMap allButtonsInfo() const;
    std::optional<QVariantMap> infoForButton(const QString &name) const;

    // Lazy loading of the stored picture.
    void setLayerImageCachePath(const QString &path);
    QString layerImageCachePath() const;
    bool imageIsRestoring() const;
    // Brings the stored picture to restored: waits for a running cut, or cuts a pending picture
    // on the calling thread.
    void ensureImageRestored();

    // Cuts a layer picture into the pictures of the keys of this layer.
    void setLayerImage(const QImage &picture);
    // The layer picture of the keys without a display plugin (those stay black: their pictures
    // are live). Nothing when there is nothing to save: no keys and a stored picture never read.
    std::optional<QImage> layerImage();
    void setImage(const QImage &picture, const QString &name);
    QImage pictureImageForButton(const QString &name) const;
    // The key's picture, or the placeholder while the stored picture is pending or being cut
    // (a pending one starts its cut).
    QImage imageForButton(const QString &name) override;

    std::shared_ptr<KCButton> createButton(const QString &name);
    void deleteButton(const QString &name);
    // Moves a key's button to another key, swapping with the button there; nothing without a
    // source button.
    void moveButtonFrom(const QString &from, const QString &to);

    QVariantMap displayPluginForButton(const QString &name) const;
    QVariantMap actionPluginForButton(const QString &name) const;
    bool buttonHasDisplayPlugin(const QString &name) const;
    void setDisplayPlugin(const QVariantMap &entry, const QString &name);
    void setActionPlugin(const QVariantMap &entry, const QString &name);
    // Merges changes into the entry's "Settings" (KCButton::mergedSettings).
    void updateDisplayPluginSettings(const QVariantMap &changes, const QString &name);
    void updateActionPluginSettings(const QVariantMap &changes, const QString &name);
    // A display plugin redrew a key: posts KCButtonPluginUpdated.
    void buttonWasUpdated(const KCButton &button);

    void activate();
    void deactivate();
    bool isActive() const { return m_isActive; }
    void setButton(const QString &name, bool active);

    bool hybrid() const { return m_hybrid; }
    void setHybrid(bool hybrid);

protected:
    explicit KCSingleLayer(const QString &uuid);

private:
    enum class Restore
    {
        Restored, // nothing pending
        Pending,  // a stored picture waits to be cut
        Queued,   // a worker will cut it
        Cutting   // being cut
    };

    std::shared_ptr<KCButton> addButton(const QString &name);
    void applyInfo(const QVariantMap &info, const QString &name);
    void startRestore();
    // Cuts the stored picture; called with the state set to Cutting, on any thread.
    void restoreImageCache(const QString &path);
    void cacheImageRestored();
    void waitWhileCutting(std::unique_lock<std::mutex> &lock);
    void cutInto(const QImage &picture);

    mutable std::mutex m_lock; // the buttons table and the restore state
    std::condition_variable m_cutFinished;
    ButtonTable m_buttons;
    QString m_layerImageCachePath;
    Restore m_restore = Restore::Restored;

    mutable QImage m_iconCache;
    bool m_isActive = false;
    bool m_hybrid = false;
};

} // namespace brevona
