#pragma once

#include <memory>

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

class KCPluginButtonProtocol;
class KCPluginProtocol;

namespace brevona {

class PluginBundle;

// What the editor knows of one plugin bundle: its titles, icons and categories, the display and
// action plugins it declares in their order, and where their settings views are. The bundle's
// code is loaded when the record is made, so a bundle that cannot run is never offered.
class KCPlugin
{
public:
    // Nothing when the code does not load (the bundle says why in the log).
    static std::shared_ptr<KCPlugin> fromBundle(const std::shared_ptr<PluginBundle> &bundle);
    ~KCPlugin();

    // The five categories in display order, and their titles (empty for another identifier).
    static const QStringList &sortedCategories();
    static QString categoryNameForId(const QString &identifier);
    static inline const QString OtherCategory = QStringLiteral("other");

    // "CFBundleIdentifier", else the bundle folder's name without ".plugin".
    const QString &identifier() const { return m_identifier; }
    const QString &pluginTitle() const { return m_title; }
    const QString &pluginDescription() const { return m_description; }
    const QImage &icon() const { return m_icon; }
    const QStringList &displayPluginsIDs() const { return m_displayIDs; }
    const QStringList &actionPluginsIDs() const { return m_actionIDs; }
    const PluginBundle &bundle() const { return *m_bundle; }

    QString displayNameForPlugin(const QString &signature) const { return m_names.value(signature); }
    QString descriptionForPlugin(const QString &signature) const { return m_descriptions.value(signature); }
    QImage iconForPlugin(const QString &signature) const { return m_icons.value(signature); }
    // One of the five; a plugin whose entry and bundle name none of them is "other".
    QString categoryForPlugin(const QString &signature) const;
    // The Qt Designer file of the plugin's settings view, "Contents/Resources/<signature>.ui";
    // empty when the bundle has none.
    QString preferencesViewForPlugin(const QString &signature) const;

    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button);

private:
    explicit KCPlugin(std::shared_ptr<PluginBundle> bundle);
    void parsePluginPlist(const QVariantMap &plugins, QStringList &list);
    QString resourcePath(const QString &name) const;

    std::shared_ptr<PluginBundle> m_bundle;
    QString m_identifier;
    QString m_title;
    QString m_description;
    QString m_category;
    QImage m_icon;
    QStringList m_displayIDs;
    QStringList m_actionIDs;
    QHash<QString, QString> m_names;
    QHash<QString, QImage> m_icons;
    QHash<QString, QString> m_categories;
    QHash<QString, QString> m_descriptions;
};

} // namespace brevona
