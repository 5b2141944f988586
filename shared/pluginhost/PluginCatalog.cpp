#include "PluginCatalog.h"

#include <QDir>

#include "KCPluginProtocol.h"
#include "PluginBundle.h"
#include "PluginLogging.h"

namespace brevona {

PluginCatalog::PluginCatalog() = default;

PluginCatalog::~PluginCatalog() = default;

void PluginCatalog::scan(const QStringList &folders)
{
    std::map<QString, std::shared_ptr<PluginBundle>> previous;
    previous.swap(m_plugins);
    for (const QString &folder : folders) {
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.suffix() != QLatin1String("plugin"))
                continue;
            // Keep a bundle already opened (its code may be loaded) rather than opening it twice.
            std::shared_ptr<PluginBundle> bundle;
            for (const auto &[signature, known] : previous) {
                if (known->path() == entry.absoluteFilePath()) {
                    bundle = known;
                    break;
                }
            }
            if (!bundle)
                bundle = PluginBundle::open(entry.absoluteFilePath());
            if (bundle)
                registerBundle(bundle);
        }
    }
    qCDebug(lcPlugins).noquote() << "Plugins:" << m_plugins.size() << "signatures";
}

void PluginCatalog::registerBundle(const std::shared_ptr<PluginBundle> &bundle)
{
    for (const char *list : {"KCDisplayPlugins", "KCActionPlugins"}) {
        const QVariantMap plugins = bundle->info().value(QLatin1String(list)).toMap();
        for (auto it = plugins.constBegin(); it != plugins.constEnd(); ++it)
            m_plugins[it.key()] = bundle;
    }
}

std::shared_ptr<PluginBundle> PluginCatalog::bundleBySignature(const QString &signature) const
{
    const auto it = m_plugins.find(signature);
    return it == m_plugins.end() ? nullptr : it->second;
}

std::unique_ptr<KCPluginProtocol> PluginCatalog::createInstance(const QString &signature,
                                                                KCPluginButtonProtocol *button) const
{
    const auto bundle = bundleBySignature(signature);
    return bundle ? bundle->createInstance(signature, button) : nullptr;
}

QStringList PluginCatalog::signatures() const
{
    QStringList result;
    for (const auto &[signature, bundle] : m_plugins)
        result.append(signature);
    return result;
}

} // namespace brevona
