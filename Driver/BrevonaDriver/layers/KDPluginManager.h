#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "PluginCatalog.h"

class KCPluginButtonProtocol;
class KCPluginProtocol;

namespace brevona {

class PluginBundle;

// The driver's plugin bundles: those in the driver's system folder and in the user's, the user's
// winning for a signature both offer.
class KDPluginManager
{
public:
    static KDPluginManager &sharedInstance();
    ~KDPluginManager();

    static QStringList getSearchPaths();
    // Rescans the folders; bundles whose code is already loaded stay loaded.
    void loadPlugins();

    // A new instance hosted by `button`, or nothing (with a log line where one is due).
    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button);
    std::shared_ptr<PluginBundle> bundleBySignature(const QString &signature) const;

    // The class a signature names: its dotted parts capitalised and joined.
    static QString className(const QString &signature);

private:
    KDPluginManager();

    PluginCatalog m_catalog;
};

} // namespace brevona
