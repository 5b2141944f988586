#include "PluginBundle.h"

#include <exception>

#include <QDir>
#include <QLibrary>

#include "KCPluginModule.h"
#include "KCPluginProtocol.h"
#include "LegacyPluginInstance.h"
#include "PluginLogging.h"
#include "PropertyList.h"

namespace brevona {

PluginBundle::PluginBundle(QString path, QVariantMap info)
    : m_path(std::move(path))
    , m_info(std::move(info))
{}

// Bundles are never unloaded: instances and their code may outlive any owner here.
PluginBundle::~PluginBundle() = default;

std::shared_ptr<PluginBundle> PluginBundle::open(const QString &path)
{
    auto info = PropertyList::readDictionary(QDir(path).filePath(QStringLiteral("Contents/Info.plist")));
    if (!info)
        return nullptr;
    return std::shared_ptr<PluginBundle>(new PluginBundle(path, *info));
}

const KCPluginModule *PluginBundle::module()
{
    if (m_loadAttempted)
        return m_module;
    m_loadAttempted = true;

    const QString executable = m_info.value(QStringLiteral("CFBundleExecutable")).toString();
    if (executable.isEmpty() || executable.contains(QLatin1Char('/')) ||
        executable.startsWith(QLatin1Char('.'))) {
        qCWarning(lcPlugins).noquote() << "Plugin bundle" << m_path << "names no usable CFBundleExecutable";
        return nullptr;
    }
    const QString file = QDir(m_path).filePath(QStringLiteral("Contents/Linux/%1.so").arg(executable));
    auto library = std::make_unique<QLibrary>(file);
    library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library->load()) {
        qCWarning(lcPlugins).noquote()
            << "Plugin bundle" << m_path << "could not be loaded:" << library->errorString();
        return nullptr;
    }
    auto entry = reinterpret_cast<KCPluginModuleEntry>(library->resolve(BREVONA_PLUGIN_ENTRY_NAME));
    if (!entry) {
        qCWarning(lcPlugins).noquote() << "Plugin bundle" << m_path << "has no" << BREVONA_PLUGIN_ENTRY_NAME;
        return nullptr;
    }
    const KCPluginModule *module = nullptr;
    try {
        module = entry();
    } catch (const std::exception &error) {
        qCWarning(lcPlugins).noquote() << QStringLiteral("Plugin bundle %1 failed in %2: %3")
                                              .arg(m_path, QLatin1String(BREVONA_PLUGIN_ENTRY_NAME),
                                                   QString::fromLocal8Bit(error.what()));
        return nullptr;
    } catch (...) {
        qCWarning(lcPlugins).noquote() << QStringLiteral("Plugin bundle %1 failed in %2: unknown exception")
                                              .arg(m_path, QLatin1String(BREVONA_PLUGIN_ENTRY_NAME));
        return nullptr;
    }
    // Older interfaces lack only what was added after them, so their bundles load unchanged.
    if (!module || module->interfaceVersion < BREVONA_PLUGIN_OLDEST_INTERFACE_VERSION ||
        module->interfaceVersion > BREVONA_PLUGIN_INTERFACE_VERSION) {
        qCWarning(lcPlugins).noquote()
            << QStringLiteral("Plugin bundle %1 was built for plugin interface %2, this driver has %3")
                   .arg(m_path)
                   .arg(module ? module->interfaceVersion : -1)
                   .arg(BREVONA_PLUGIN_INTERFACE_VERSION);
        return nullptr;
    }
    if (module->classCount > 0 && !module->classes) {
        qCWarning(lcPlugins).noquote()
            << "Plugin bundle" << m_path << "lists" << module->classCount << "classes but no table of them";
        return nullptr;
    }
    m_library = std::move(library);
    m_module = module;
    return m_module;
}

QString PluginBundle::className(const QString &signature)
{
    QString name;
    for (const QString &part : signature.split(QLatin1Char('.'))) {
        if (part.isEmpty())
            continue;
        name += part.left(1).toUpper() + part.mid(1).toLower();
    }
    return name;
}

std::unique_ptr<KCPluginProtocol> PluginBundle::createInstance(const QString &signature,
                                                               KCPluginButtonProtocol *button)
{
    const KCPluginModule *code = module();
    if (!code)
        return nullptr;
    try {
        const QByteArray name = className(signature).toUtf8();
        for (int i = 0; i < code->classCount; ++i) {
            const KCPluginClass &entry = code->classes[i];
            if (entry.name && name == entry.name && entry.initWithButton)
                return LegacyPluginInstance::adopt(entry.initWithButton(button), code->interfaceVersion);
        }
        if (code->createInstance)
            return LegacyPluginInstance::adopt(code->createInstance(signature.toUtf8().constData(), button),
                                               code->interfaceVersion);
        qCWarning(lcPlugins).noquote()
            << QStringLiteral("can't create any plugins from bundle %1 due to illegal principal class")
                   .arg(m_path);
    } catch (const std::exception &error) {
        // A plugin that throws while it is created yields no instance.
        qCWarning(lcPlugins).noquote() << QStringLiteral("exception when creating %1: %2")
                                              .arg(signature, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        qCWarning(lcPlugins).noquote()
            << QStringLiteral("exception when creating %1: unknown exception").arg(signature);
    }
    return nullptr;
}

} // namespace brevona
