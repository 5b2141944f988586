#include "KDPluginManager.h"

#include <exception>

#include <QDir>

#include "KCPluginModule.h"
#include "KCPluginProtocol.h"
#include "KDPluginBundle.h"
#include "LayerLogging.h"
#include "Paths.h"

namespace brevona {

KDPluginManager &KDPluginManager::sharedInstance()
{
    static KDPluginManager manager;
    return manager;
}

KDPluginManager::KDPluginManager()
{
    loadPlugins();
}

KDPluginManager::~KDPluginManager() = default;

QStringList KDPluginManager::getSearchPaths()
{
    return {Paths::driverSystemPluginFolder(), Paths::userPluginFolder()};
}

void KDPluginManager::loadPlugins()
{
    std::map<QString, std::shared_ptr<KDPluginBundle>> previous;
    previous.swap(m_plugins);
    for (const QString &folder : getSearchPaths()) {
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.suffix() != QLatin1String("plugin"))
                continue;
            // Keep a bundle already opened (its code may be loaded) rather than opening it twice.
            std::shared_ptr<KDPluginBundle> bundle;
            for (const auto &[signature, known] : previous) {
                if (known->path() == entry.absoluteFilePath()) {
                    bundle = known;
                    break;
                }
            }
            if (!bundle)
                bundle = KDPluginBundle::open(entry.absoluteFilePath());
            if (bundle)
                loadPluginsByPlist(bundle->info(), bundle);
        }
    }
    qCDebug(lcLayers).noquote() << "Plugins:" << m_plugins.size() << "signatures";
}

void KDPluginManager::loadPluginsByPlist(const QVariantMap &info,
                                         const std::shared_ptr<KDPluginBundle> &bundle)
{
    for (const char *list : {"KCDisplayPlugins", "KCActionPlugins"}) {
        const QVariantMap plugins = info.value(QLatin1String(list)).toMap();
        for (auto it = plugins.constBegin(); it != plugins.constEnd(); ++it)
            m_plugins[it.key()] = bundle;
    }
}

std::shared_ptr<KDPluginBundle> KDPluginManager::bundleBySignature(const QString &signature) const
{
    const auto it = m_plugins.find(signature);
    return it == m_plugins.end() ? nullptr : it->second;
}

QString KDPluginManager::className(const QString &signature)
{
    QString name;
    for (const QString &part : signature.split(QLatin1Char('.'))) {
        if (part.isEmpty())
            continue;
        name += part.left(1).toUpper() + part.mid(1).toLower();
    }
    return name;
}

std::unique_ptr<KCPluginProtocol> KDPluginManager::createInstance(const QString &signature,
                                                                  KCPluginButtonProtocol *button)
{
    auto bundle = bundleBySignature(signature);
    if (!bundle)
        return nullptr;
    const KCPluginModule *module = bundle->module();
    if (!module)
        return nullptr;
    try {
        const QByteArray name = className(signature).toUtf8();
        for (int i = 0; i < module->classCount; ++i) {
            const KCPluginClass &entry = module->classes[i];
            if (entry.name && name == entry.name && entry.initWithButton)
                return std::unique_ptr<KCPluginProtocol>(entry.initWithButton(button));
        }
        if (module->createInstance)
            return std::unique_ptr<KCPluginProtocol>(
                module->createInstance(signature.toUtf8().constData(), button));
        qCWarning(lcLayers).noquote()
            << QStringLiteral("can't create any plugins from bundle %1 due to illegal principal class")
                   .arg(bundle->path());
    } catch (const std::exception &error) {
        // A plugin that throws while it is created yields no instance.
        qCWarning(lcLayers).noquote() << QStringLiteral("exception when creating %1: %2")
                                             .arg(signature, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        qCWarning(lcLayers).noquote()
            << QStringLiteral("exception when creating %1: unknown exception").arg(signature);
    }
    return nullptr;
}

} // namespace brevona
