#include "KCPluginManager.h"

#include <QDir>
#include <QPainter>
#include <QSet>

#include "KCPlugin.h"
#include "KCPluginProtocol.h"
#include "NotificationCenter.h"
#include "Paths.h"
#include "PluginBundle.h"
#include "PluginsLogging.h"

namespace brevona {

namespace {

// The "Picture" entry's icon: a framed landscape, drawn rather than shipped.
QImage pictureIcon()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    painter.setBrush(QColor(0xd8, 0xea, 0xf8));
    painter.drawRoundedRect(QRectF(3, 5, 26, 22), 2, 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf2, 0xb6, 0x1f));
    painter.drawEllipse(QPointF(21, 12), 3, 3);
    painter.setBrush(QColor(0x4c, 0x8c, 0x3c));
    painter.drawPolygon(
        QPolygonF({QPointF(5, 25), QPointF(13, 14), QPointF(19, 21), QPointF(22, 18), QPointF(27, 25)}));
    return image;
}

struct Reserved
{
    const QString &signature;
    QString name;
    QString description;
};

const QList<Reserved> &reserved()
{
    static const QList<Reserved> table{
        {KCPluginManager::NothingSignature, QStringLiteral("Nothing"), QString()},
        {KCPluginManager::DefaultKeystrokeSignature, QStringLiteral("Default"), QString()},
        {KCPluginManager::PictureSignature, QStringLiteral("Picture"),
         QStringLiteral("Any static image, 48x48 pixels")},
    };
    return table;
}

const Reserved *reservedEntry(const QString &signature)
{
    for (const Reserved &entry : reserved()) {
        if (entry.signature == signature)
            return &entry;
    }
    return nullptr;
}

} // namespace

KCPluginManager::KCPluginManager(const QStringList &folders)
    : m_folders(folders)
    , m_pictureIcon(pictureIcon())
{
    loadAllPlugins();
}

KCPluginManager::~KCPluginManager() = default;

QStringList KCPluginManager::searchPaths()
{
    return {Paths::driverSystemPluginFolder(), Paths::configuratorSystemPluginFolder(),
            Paths::userPluginFolder()};
}

void KCPluginManager::loadAllPlugins()
{
    std::map<QString, std::shared_ptr<KCPlugin>> previous;
    previous.swap(m_plugins);
    m_displayTable.clear();
    m_actionTable.clear();
    for (const QString &folder : std::as_const(m_folders)) {
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.suffix() != QLatin1String("plugin"))
                continue;
            // A bundle whose code is loaded keeps its record: its instances run on that code.
            std::shared_ptr<KCPlugin> record;
            for (const auto &[identifier, known] : previous) {
                if (known->bundle().path() == entry.absoluteFilePath())
                    record = known;
            }
            if (!record)
                record = KCPlugin::fromBundle(PluginBundle::open(entry.absoluteFilePath()));
            if (!record)
                continue;
            m_plugins[record->identifier()] = record;
            for (const QString &signature : record->displayPluginsIDs())
                m_displayTable.insert(signature, record->identifier());
            for (const QString &signature : record->actionPluginsIDs())
                m_actionTable.insert(signature, record->identifier());
        }
    }
    qCDebug(lcPluginCatalogue).noquote() << "Plugin bundles:" << m_plugins.size();
    NotificationCenter::defaultCenter().post(DidUpdateBundlesInfo);
}

std::unique_ptr<KCPluginProtocol> KCPluginManager::createInstance(const QString &signature,
                                                                  KCPluginButtonProtocol *button)
{
    const auto record = pluginForSignature(signature);
    if (!record) {
        qCWarning(lcPluginCatalogue).noquote()
            << QStringLiteral("No installed plugin bundle offers '%1'").arg(signature);
        return nullptr;
    }
    return record->createInstance(signature, button);
}

std::shared_ptr<KCPlugin> KCPluginManager::plugin(const QString &bundleIdentifier) const
{
    const auto it = m_plugins.find(bundleIdentifier);
    return it == m_plugins.end() ? nullptr : it->second;
}

std::shared_ptr<KCPlugin> KCPluginManager::pluginForSignature(const QString &signature) const
{
    const QString bundle = m_displayTable.value(signature, m_actionTable.value(signature));
    return bundle.isEmpty() ? nullptr : plugin(bundle);
}

QStringList KCPluginManager::allBundlesIDs() const
{
    QStringList identifiers;
    for (const auto &[identifier, record] : m_plugins)
        identifiers.append(identifier);
    return identifiers;
}

QStringList KCPluginManager::displayPluginBundles() const
{
    return QSet<QString>(m_displayTable.cbegin(), m_displayTable.cend()).values();
}

QStringList KCPluginManager::actionPluginBundles() const
{
    return QSet<QString>(m_actionTable.cbegin(), m_actionTable.cend()).values();
}

QString KCPluginManager::pluginTypeForId(const QString &signature) const
{
    if (m_displayTable.contains(signature))
        return DisplayPluginType;
    if (m_actionTable.contains(signature))
        return ActionPluginType;
    return {};
}

QString KCPluginManager::displayNameForPlugin(const QString &identifier) const
{
    if (const auto record = plugin(identifier))
        return record->pluginTitle();
    if (const Reserved *entry = reservedEntry(identifier))
        return entry->name;
    const auto record = pluginForSignature(identifier);
    return record ? record->displayNameForPlugin(identifier) : QString();
}

QString KCPluginManager::descriptionForPlugin(const QString &identifier) const
{
    if (const auto record = plugin(identifier))
        return record->pluginDescription();
    if (const Reserved *entry = reservedEntry(identifier))
        return entry->description;
    const auto record = pluginForSignature(identifier);
    return record ? record->descriptionForPlugin(identifier) : QString();
}

QImage KCPluginManager::iconForPlugin(const QString &identifier) const
{
    if (identifier == PictureSignature)
        return m_pictureIcon;
    if (const auto record = plugin(identifier))
        return record->icon();
    const auto record = pluginForSignature(identifier);
    return record ? record->iconForPlugin(identifier) : QImage();
}

QString KCPluginManager::preferencesViewForSignature(const QString &signature) const
{
    const auto record = pluginForSignature(signature);
    return record ? record->preferencesViewForPlugin(signature) : QString();
}

QMap<QString, QStringList> KCPluginManager::byCategories(const QMap<QString, QString> &table) const
{
    QMap<QString, QStringList> lists;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (const auto record = plugin(it.value())) {
            QStringList &list = lists[record->categoryForPlugin(it.key())];
            if (!list.contains(it.key()))
                list.append(it.key());
        }
    }
    return lists;
}

QMap<QString, QStringList> KCPluginManager::displayPluginsByCategories() const
{
    return byCategories(m_displayTable);
}

QMap<QString, QStringList> KCPluginManager::actionPluginsByCategories() const
{
    return byCategories(m_actionTable);
}

} // namespace brevona
