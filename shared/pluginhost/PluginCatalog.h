#pragma once

#include <map>
#include <memory>

#include <QString>
#include <QStringList>

class KCPluginButtonProtocol;
class KCPluginProtocol;

namespace brevona {

class PluginBundle;

// The plugin bundles found in a list of folders, by signature. A signature registered by a bundle
// in a later folder replaces the earlier registration, so the last folder wins. Code is loaded on
// the first instance only.
class PluginCatalog
{
public:
    PluginCatalog();
    ~PluginCatalog();

    // Rescans `folders`; bundles whose code is already loaded stay loaded.
    void scan(const QStringList &folders);

    std::shared_ptr<PluginBundle> bundleBySignature(const QString &signature) const;
    // A new instance hosted by `button`, or nothing: no bundle registers the signature (silently,
    // callers say so in their own words) or the bundle could not make one (logged).
    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button) const;
    QStringList signatures() const;

private:
    void registerBundle(const std::shared_ptr<PluginBundle> &bundle);

    std::map<QString, std::shared_ptr<PluginBundle>> m_plugins;
};

} // namespace brevona
