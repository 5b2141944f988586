#pragma once

#include <map>
#include <memory>

#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>

#include "KCPluginHost.h"

namespace brevona {

class KCPlugin;

// The catalogue of the display and action plugins installed for the user: the driver's system
// folder, the configurator's own and the user's folder, scanned in that order so that a later
// folder wins (a bundle of the same identifier, and any signature two bundles declare). Answers
// the editor's questions by bundle identifier or signature (a bundle identifier is tried first)
// and makes the keys' running instances. Three signatures belong to no bundle: "display.nothing",
// "default.keystroke" and "lumivox.picture". Main thread only.
class KCPluginManager final : public KCPluginHost
{
public:
    static inline const QString NothingSignature = QStringLiteral("display.nothing");
    static inline const QString DefaultKeystrokeSignature = QStringLiteral("default.keystroke");
    static inline const QString PictureSignature = QStringLiteral("lumivox.picture");
    static inline const QString AnimationSignature = QStringLiteral("brevona.display.general.animation");
    static inline const QString DisplayPluginType = QStringLiteral("DisplayPlugin");
    static inline const QString ActionPluginType = QStringLiteral("ActionPlugin");
    static inline const QString DidUpdateBundlesInfo = QStringLiteral("KCPluginManagerDidUpdateBundlesInfo");

    // Scans `folders` at once (the installed ones when none are given).
    explicit KCPluginManager(const QStringList &folders = searchPaths());
    ~KCPluginManager() override;

    static QStringList searchPaths();
    // The scan; posts "KCPluginManagerDidUpdateBundlesInfo". Bundles already loaded stay loaded.
    void loadAllPlugins();

    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button) override;

    std::shared_ptr<KCPlugin> plugin(const QString &bundleIdentifier) const;
    std::shared_ptr<KCPlugin> pluginForSignature(const QString &signature) const;
    QStringList allBundlesIDs() const;
    QStringList displayPluginBundles() const;
    QStringList actionPluginBundles() const;
    QMap<QString, QString> displayPluginsTable() const { return m_displayTable; }
    QMap<QString, QString> actionPluginsTable() const { return m_actionTable; }

    // "DisplayPlugin", "ActionPlugin" (the keys a key's settings are stored under), or empty.
    QString pluginTypeForId(const QString &signature) const;
    // By bundle identifier the bundle's own; by signature the plugin's; empty for an unknown one.
    QString displayNameForPlugin(const QString &identifier) const;
    QString descriptionForPlugin(const QString &identifier) const;
    QImage iconForPlugin(const QString &identifier) const;
    // The settings view's Qt Designer file; empty when the plugin has none.
    QString preferencesViewForSignature(const QString &signature) const;

    // Category identifier -> signatures, each list in signature order.
    QMap<QString, QStringList> displayPluginsByCategories() const;
    QMap<QString, QStringList> actionPluginsByCategories() const;

private:
    QMap<QString, QStringList> byCategories(const QMap<QString, QString> &table) const;

    QStringList m_folders;
    std::map<QString, std::shared_ptr<KCPlugin>> m_plugins;
    QMap<QString, QString> m_displayTable;
    QMap<QString, QString> m_actionTable;
    QImage m_pictureIcon;
};

} // namespace brevona
