#pragma once

#include <map>
#include <memory>

#include <QString>
#include <QStringList>
#include <QVariantMap>

class KCPluginButtonProtocol;
class KCPluginProtocol;

namespace brevona {

class KDPluginBundle;

// Finds plugin bundles in the system and the user's plugin folders and creates plugin instances
// from signatures. A signature registered by a later bundle replaces the earlier registration, so
// the user's folder wins over the system folder. Code is loaded on the first instance only.
class KDPluginManager
{
public:
    static KDPluginManager &sharedInstance();
    ~KDPluginManager();

    static QStringList getSearchPaths();
    // Rescans the folders; bundles whose code is already loaded stay loaded.
    void loadPlugins();
    void loadPluginsByPlist(const QVariantMap &info, const std::shared_ptr<KDPluginBundle> &bundle);

    // A new instance hosted by `button`, or nothing (with a log line where one is due).
    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature, KCPluginButtonProtocol *button);
    std::shared_ptr<KDPluginBundle> bundleBySignature(const QString &signature) const;

    // The class a signature names: its dotted parts capitalised and joined.
    static QString className(const QString &signature);

private:
    KDPluginManager();

    std::map<QString, std::shared_ptr<KDPluginBundle>> m_plugins;
};

} // namespace brevona
