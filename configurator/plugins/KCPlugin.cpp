#include "KCPlugin.h"

#include <exception>

#include <QDir>
#include <QFileInfo>

#include "KCPluginModule.h"
#include "KCPluginProtocol.h"
#include "LegacyPluginInstance.h"
#include "PluginBundle.h"
#include "PluginsLogging.h"

namespace brevona {

namespace {

struct Category
{
    QString identifier;
    QString title;
};

const QList<Category> &categories()
{
    static const QList<Category> table{
        {QStringLiteral("general"), QStringLiteral("General")},
        {QStringLiteral("internet"), QStringLiteral("Internet")},
        {QStringLiteral("multimedia"), QStringLiteral("Multimedia")},
        {QStringLiteral("system-monitor"), QStringLiteral("System Monitor")},
        {KCPlugin::OtherCategory, QStringLiteral("Other")},
    };
    return table;
}

// A bundle's picture; null when it has none.
QImage loadResource(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path) ? QImage(path) : QImage();
}

} // namespace

const QStringList &KCPlugin::sortedCategories()
{
    static const QStringList identifiers = [] {
        QStringList list;
        for (const Category &category : categories())
            list.append(category.identifier);
        return list;
    }();
    return identifiers;
}

QString KCPlugin::categoryNameForId(const QString &identifier)
{
    for (const Category &category : categories()) {
        if (category.identifier == identifier)
            return category.title;
    }
    return {};
}

std::shared_ptr<KCPlugin> KCPlugin::fromBundle(const std::shared_ptr<PluginBundle> &bundle)
{
    if (!bundle || !bundle->module())
        return nullptr;
    return std::shared_ptr<KCPlugin>(new KCPlugin(bundle));
}

KCPlugin::KCPlugin(std::shared_ptr<PluginBundle> bundle)
    : m_bundle(std::move(bundle))
{
    const QVariantMap &info = m_bundle->info();
    m_identifier = info.value(QStringLiteral("CFBundleIdentifier")).toString();
    if (m_identifier.isEmpty())
        m_identifier = QFileInfo(m_bundle->path()).completeBaseName();
    m_title = info.value(QStringLiteral("CFBundleName")).toString();
    m_description = info.value(QStringLiteral("KCBundleDescription")).toString();
    m_category = info.value(QStringLiteral("Category")).toString();
    m_icon = loadResource(resourcePath(QStringLiteral("Icon.png")));
    parsePluginPlist(info.value(QStringLiteral("KCDisplayPlugins")).toMap(), m_displayIDs);
    parsePluginPlist(info.value(QStringLiteral("KCActionPlugins")).toMap(), m_actionIDs);
}

KCPlugin::~KCPlugin() = default;

QString KCPlugin::resourcePath(const QString &name) const
{
    // Names come from the bundle: one that leaves the resources folder is no resource.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.')))
        return {};
    return QDir(m_bundle->path()).filePath(QStringLiteral("Contents/Resources/") + name);
}

void KCPlugin::parsePluginPlist(const QVariantMap &plugins, QStringList &list)
{
    for (auto it = plugins.constBegin(); it != plugins.constEnd(); ++it) {
        const QString &signature = it.key();
        const QVariantMap entry = it.value().toMap();
        list.append(signature);
        if (entry.contains(QStringLiteral("DisplayName")))
            m_names.insert(signature, entry.value(QStringLiteral("DisplayName")).toString());
        if (entry.contains(QStringLiteral("Description")))
            m_descriptions.insert(signature, entry.value(QStringLiteral("Description")).toString());
        const QString iconName = entry.value(QStringLiteral("Icon")).toString();
        QImage icon = loadResource(resourcePath(iconName));
        if (icon.isNull() && !iconName.isEmpty() && QFileInfo(iconName).suffix().isEmpty())
            icon = loadResource(resourcePath(iconName + QStringLiteral(".png")));
        if (!icon.isNull())
            m_icons.insert(signature, icon);
        const QString category = entry.value(QStringLiteral("Category")).toString();
        m_categories.insert(signature, sortedCategories().contains(category) ? category : m_category);
    }
}

QString KCPlugin::categoryForPlugin(const QString &signature) const
{
    // A category the editor does not know would hide the plugin from every list: it goes under
    // "Other" instead.
    const QString category = m_categories.value(signature);
    return sortedCategories().contains(category) ? category : OtherCategory;
}

QString KCPlugin::preferencesViewForPlugin(const QString &signature) const
{
    const QString path = resourcePath(signature + QStringLiteral(".ui"));
    return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

namespace {

// One attempt at making an instance; a plugin that throws gives nothing and one log line.
template<typename Make> KCPluginProtocol *guarded(Make make)
{
    try {
        return make();
    } catch (const std::exception &error) {
        qCWarning(lcPluginCatalogue).noquote()
            << QStringLiteral("createInstance error: %1").arg(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        qCWarning(lcPluginCatalogue).noquote() << QStringLiteral("createInstance error: unknown exception");
    }
    return nullptr;
}

} // namespace

std::unique_ptr<KCPluginProtocol> KCPlugin::createInstance(const QString &signature,
                                                           KCPluginButtonProtocol *button)
{
    const KCPluginModule *code = m_bundle->module();
    if (!code)
        return nullptr;
    // The principal class's factory first; a failure there still leaves the class the signature
    // names.
    const QByteArray utf8 = signature.toUtf8();
    KCPluginProtocol *instance = nullptr;
    if (code->createInstance)
        instance = guarded([&] { return code->createInstance(utf8.constData(), button); });
    if (!instance) {
        const QByteArray name = PluginBundle::className(signature).toUtf8();
        for (int i = 0; i < code->classCount && !instance; ++i) {
            const KCPluginClass &entry = code->classes[i];
            if (entry.name && name == entry.name && entry.initWithButton)
                instance = guarded([&] { return entry.initWithButton(button); });
        }
    }
    return LegacyPluginInstance::adopt(instance, code->interfaceVersion);
}

} // namespace brevona
