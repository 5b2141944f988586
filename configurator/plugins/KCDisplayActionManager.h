#pragma once

#include <map>
#include <memory>
#include <optional>
#include <utility>

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "KCButton.h"
#include "KCKeyClipboard.h"
#include "KCLayerManager.h"
#include "KCSettingsProxy.h"
#include "Result.h"

class QMimeData;
class QTimer;

namespace brevona {

class DriverCommandSink;
class KCPluginManager;
class KCPluginSettingsTrampoline;
class KCSingleLayer;

// What the selected keys of a single layer show and do, without widgets: the display and action
// menus by category, the page each settings area shows, and the edits (a display or action plugin
// chosen, a picture, keys removed, a setting changed in a settings view), each one undoable edit
// of the layer manager. The window's display and action pane and brevona-layers both use it.
// Main thread only.
class KCDisplayActionManager : public QObject, public KCSettingsProxyDelegate
{
    Q_OBJECT
public:
    using Outcome = KCLayerManager::Outcome;

    struct MenuEntry
    {
        enum class Role
        {
            Item,
            Header,
            Separator,
        };
        Role role = Role::Item;
        QString title = {};
        QString description = {}; // shortened for the menu
        QImage icon = {};         // 26 x 26
        QString signature = {};
        bool bold = false; // "Nothing" and "Default"
    };

    // One category as the menus and the plugin tables show it.
    struct PluginCategory
    {
        QString identifier;
        QStringList signatures;
    };

    // What a settings area shows.
    enum class Page
    {
        Empty,
        Multiple,
        Plugin,    // the checked plugin's settings view
        Picture,   // the picture editor (the key shows its own picture)
        NoOptions, // a display plugin without settings view
    };

    struct Side
    {
        Page page = Page::Empty;
        QString checked = {}; // the signature the menu checks; empty when none or mixed
        bool mixed = false;
        QString settingsView = {}; // the checked plugin's .ui file, if any
    };

    // The picture notice waits this long for more edits of the same picture (a slider's drag).
    static constexpr int PictureNoticeDelayMs = 300;
    static constexpr int MaxMenuDescription = 35;

    KCDisplayActionManager(KCLayerManager &layers, KCPluginManager &catalogue, DriverCommandSink &driver,
                           QObject *parent = nullptr);
    ~KCDisplayActionManager() override;

    // The keys the keyboard view has selected in the layer it shows.
    void setSelection(const QString &layerIdentifier, const QStringList &keys);
    QString layerIdentifier() const { return m_layer; }
    QStringList selectedKeys() const { return m_keys; }
    // A single layer with at least one selected key.
    bool enabled() const;

    QList<MenuEntry> displayMenu() const;
    QList<MenuEntry> actionMenu() const;
    // The categories the menus and the plugin tables offer, in the categories' order: each
    // category's plugins in the catalogue's order ("lumivox.picture" first among the display
    // plugins of the first), a plugin without a name left out, a category left empty left out.
    static QList<PluginCategory> shownCategories(const KCPluginManager &catalogue, bool display);
    static QString shortenedDescription(const QString &description);
    // The picture editor's output: 48 x 48, black behind the working picture drawn centred; a
    // picture of that size as it is, another with its longer side fitted to 48 and then scaled
    // by e = 0.05 + 0.95 x `scale` (by e squared above 1).
    static QImage keyPictureAtScale(const QImage &working, double scale);
    // A picture file for keys, refused from its header when it is larger than MaxPictureSide on a
    // side (it is never decoded then), or when it cannot be read.
    static constexpr int MaxPictureSide = 8192;
    static Result<QImage> readPictureFile(const QString &path);
    // The stock pictures, 48 x 48 each, row by row from the library's top row; empty when the
    // library cannot be read.
    static QList<QImage> stockPictures();
    // Whether the scale control is offered for a working picture.
    static bool needsResizer(const QImage &working);
    Side displaySide() const;
    Side actionSide() const;
    QString nothingDescription() const;
    QString defaultDescription() const;

    Outcome changeDisplay(const QString &signature);
    Outcome changeAction(const QString &signature);
    // The picture editor's output for the selected keys; the edit follows after a short wait, so
    // a burst of changes is one edit. flushPicture() makes it now.
    void applyPicture(const QImage &picture);
    Outcome flushPicture();
    Outcome deleteButtons();
    Outcome deleteKeys(const QStringList &keys);
    // Keys of another layer too: a cut's source once its paste went through.
    Outcome deleteKeysOfLayer(const QString &layerIdentifier, const QStringList &keys);
    KCLayerManager &layers() const { return m_layers; }

    // Keys from the clipboard or a drop in one edit: a single entry onto `targets` (none: onto
    // the key of its own name), several entries onto the keys of their own names. A copied key
    // replaces the target whole; a plugin from the tables sets only its side.
    Outcome pasteEntries(const KCKeyClipboard::Entries &entries, const QStringList &targets);
    // A drop or a paste onto `key` (none: the menu's paste, onto the first selected key), in the
    // order: a dragged key (moved, or copied when `copy` or when it comes from another program),
    // copied keys, then a file or picture (an animation file gets the animation plugin).
    Outcome dropOnKey(const QMimeData &data, const std::optional<QString> &key, bool copy);
    // Where the keyboard's selection goes after a drop or paste that went through: the keys it
    // changed, alone (a key moved or a picture dropped) or added to the selection (a paste).
    struct Landing
    {
        QStringList keys;
        bool alone = false;
    };
    Landing lastLanding() const { return m_landing; }
    // Clear for a moment after a picture or animation landed on a key: the selection and the
    // focus move then, and a settings view that reacts to them must not write the old key's
    // values into the new one.
    static constexpr int QuietPeriodMs = 200;
    bool safeToUpdateControls() const { return m_safeToUpdateControls; }
    // A GIF or WebP file of more than one frame.
    static bool isAnimationFile(const QString &path);
    // A key's own picture in the shown layer; null when the layer does not have the key.
    QImage keyPicture(const QString &key) const;

    // The settings proxy of a plugin, made on first use; holds the selected key's stored settings
    // of that plugin after each selection change.
    KCSettingsProxy *proxyForSignature(const QString &signature);
    QVariant currentValueForSetting(const QString &signature, const QString &key) override;
    bool validateSetting(const QString &signature, QVariant &value, const QString &key) override;
    void updatePluginSettings(const QString &signature, const QVariantMap &changed) override;

    QString lastError() const { return m_lastError; }

signals:
    // The menus' checks, the pages or the proxies changed: the pane shows them again.
    void controlsChanged();

private:
    std::shared_ptr<KCSingleLayer> currentLayer() const;
    // The one selected key and the side whose plugin `signature` names; nothing otherwise.
    std::optional<std::pair<std::shared_ptr<KCButton>, KCButton::Side>>
    currentPlugin(const QString &signature) const;
    QList<MenuEntry> menu(const MenuEntry &first, bool display) const;
    MenuEntry item(const QString &signature, bool bold = false) const;
    QImage menuIconFor(const QString &signature) const;
    Outcome edit(KCLayerManager::KeyStates states, const QString &text);
    Outcome refuse(const QString &why);
    Outcome moveKey(const KCKeyClipboard::Drag &drag, const QString &target, bool copy);
    Outcome land(Outcome outcome, const QStringList &keys, bool alone);
    void startQuietPeriod();
    void loadProxies();

    KCLayerManager &m_layers;
    KCPluginManager &m_catalogue;
    std::unique_ptr<KCPluginSettingsTrampoline> m_trampoline;
    QString m_layer;
    QStringList m_keys;
    std::map<QString, std::unique_ptr<KCSettingsProxy>> m_proxies;
    // The picture waiting for its edit, with the layer and keys it was made for.
    QTimer *m_pictureTimer = nullptr;
    QImage m_picture;
    QString m_pictureLayer;
    QStringList m_pictureKeys;
    QString m_lastError;
    Landing m_landing;
    QTimer *m_quietTimer = nullptr;
    bool m_safeToUpdateControls = true;
    mutable QHash<QString, QImage> m_menuIcons;
};

} // namespace brevona
