#include "KDLayerGroup.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "CommandInfo.h"
#include "CommandNames.h"
#include "KDCompoundLayer.h"
#include "KDLayer.h"
#include "LayerLogging.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PropertyList.h"
#include "StoreNames.h"

namespace brevona {

namespace {
constexpr int DemoIntervalMs = 5000;
const QString DemoLayersName = QStringLiteral("DemoLayers");
} // namespace

std::shared_ptr<KDContext> loadItemFolder(const QString &directory)
{
    if (KDLayerGroup::isGroupDirectory(directory))
        return KDLayerGroup::createWithDirectory(directory);
    return KDLayer::createWithDirectory(directory);
}

bool KDLayerGroup::isGroupDirectory(const QString &directory)
{
    return QFileInfo(QDir(directory).filePath(storenames::GroupFile)).isFile();
}

KDLayerGroup::KDLayerGroup(const QString &directory)
    : KDContext(directory)
{}

KDLayerGroup::~KDLayerGroup() = default;

std::shared_ptr<KDLayerGroup> KDLayerGroup::createWithDirectory(const QString &directory)
{
    std::shared_ptr<KDLayerGroup> group(new KDLayerGroup(directory));
    registerContext(group);
    group->load();
    return group;
}

void KDLayerGroup::load()
{
    const auto plist = PropertyList::readDictionary(QDir(path()).filePath(storenames::GroupFile));
    if (plist) {
        const QString error = initializeWithPlist(*plist);
        if (!error.isEmpty())
            qCWarning(lcLayers).noquote() << error;
        const QVariant order = plist->value(commands::keys::ItemOrder);
        if (order.typeId() == QMetaType::QVariantList) {
            for (const QVariant &entry : order.toList()) {
                if (entry.typeId() == QMetaType::QString)
                    m_itemOrder.append(entry.toString());
            }
        }
    } else {
        setConditionsByPlistArray({});
    }
    m_demoGroup = getDisplayName() == DemoLayersName;

    // Hidden folders are items like any other. Symbolic links are never followed: they could lead
    // out of the store or round in a circle.
    const QFileInfoList entries = QDir(path()).entryInfoList(
        QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (auto child = loadItemFolder(entry.filePath()))
            child->setParentId(getId());
    }

    // A demo group animates while a composition shows it (the layer manager starts it then).
    startObserving();
    NotificationCenter::defaultCenter().addObserver(this,
                                                    notifications::configuratorSaid(commands::ItemCreated),
                                                    keepingAlive(&KDLayerGroup::onCreateItem));
}

void KDLayerGroup::addCompoundLayerTo(KDCompoundLayer &composition)
{
    std::vector<const KDLayerGroup *> path;
    addCompoundLayerTo(composition, path);
}

void KDLayerGroup::addCompoundLayerTo(KDCompoundLayer &composition, std::vector<const KDLayerGroup *> &path)
{
    if (!isVisible())
        return;
    // An order that names this group or a group around it (a store edited by hand, an odd command)
    // contributes nothing there instead of recursing for ever.
    if (std::find(path.begin(), path.end(), this) != path.end())
        return;
    if (m_demoGroup)
        composition.addAnimatedGroup(std::static_pointer_cast<KDLayerGroup>(shared_from_this()));
    path.push_back(this);
    int position = 0;
    for (auto it = m_itemOrder.crbegin(); it != m_itemOrder.crend(); ++it, ++position) {
        auto child = getContextByIdentifier(*it);
        if (!child)
            continue;
        const bool included = m_demoGroup ? position == m_currentActiveDemoLayer : child->isVisible();
        if (!included)
            continue;
        if (child->isGroup())
            static_cast<KDLayerGroup &>(*child).addCompoundLayerTo(composition, path);
        else
            composition.addLayer(std::static_pointer_cast<KDLayer>(child));
    }
    path.pop_back();
}

void KDLayerGroup::setBottomEntries(const QStringList &identifiers)
{
    m_bottomEntries = identifiers;
    const QStringList order = m_itemOrder;
    setNewItems(order);
}

void KDLayerGroup::setNewItems(const QStringList &items)
{
    m_itemOrder.clear();
    for (const QString &item : items) {
        if (!m_bottomEntries.contains(item))
            m_itemOrder.append(item);
    }
    m_itemOrder += m_bottomEntries;
    m_currentActiveDemoLayer = 0;
}

QString KDLayerGroup::insertChild(const QString &identifier, quint32 index)
{
    if (index != AppendIndex && index != 0 && index >= static_cast<quint32>(m_itemOrder.size()))
        return QStringLiteral("KDLayerGroup insertChild failed due to illegal parameter: index=%1")
            .arg(static_cast<qint32>(index));
    if (auto child = getContextByIdentifier(identifier))
        child->setParentId(getId());
    if (m_bottomEntries.contains(identifier))
        return {};
    const qsizetype aboveBottom = m_itemOrder.size() - m_bottomEntries.size();
    m_itemOrder.insert(index == AppendIndex ? aboveBottom : std::min<qsizetype>(index, aboveBottom),
                       identifier);
    return {};
}

void KDLayerGroup::removeChildById(const QString &identifier)
{
    if (m_bottomEntries.contains(identifier))
        return;
    m_itemOrder.removeAll(identifier);
    m_currentActiveDemoLayer = 0;
}

int KDLayerGroup::getChildItemsCount() const
{
    return static_cast<int>(m_itemOrder.size());
}

std::shared_ptr<KDContext> KDLayerGroup::getChildItemAtIndex(int index) const
{
    if (index < 0 || index >= m_itemOrder.size())
        return nullptr;
    return getContextByIdentifier(m_itemOrder.at(index));
}

QString KDLayerGroup::description() const
{
    return QStringLiteral("[%1] Group %2")
        .arg(isVisible() ? QStringLiteral("x") : QStringLiteral(" "), getId());
}

bool KDLayerGroup::isDemoTimerRunning() const
{
    return m_demoTimer && m_demoTimer->isActive();
}

void KDLayerGroup::setDemoRunning(bool running)
{
    if (!m_demoGroup || running == isDemoTimerRunning())
        return;
    if (!running) {
        // Stopped, not destroyed: the recomposition that stops it may run from its own tick.
        m_demoTimer->stop();
        return;
    }
    if (!m_demoTimer) {
        m_demoTimer = std::make_unique<QTimer>();
        m_demoTimer->setInterval(DemoIntervalMs);
        QObject::connect(m_demoTimer.get(), &QTimer::timeout, [this] { animateDemoGroup(); });
    }
    m_demoTimer->start();
}

void KDLayerGroup::animateDemoGroup()
{
    ++m_currentActiveDemoLayer;
    if (m_currentActiveDemoLayer >= m_itemOrder.size())
        m_currentActiveDemoLayer = 0;
    NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
}

void KDLayerGroup::onCreateItem(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    if (CommandInfo::string(info.value(commands::keys::GroupId)) != getId())
        return;
    // The identifier becomes a folder name inside this group's folder.
    const QString itemId = CommandInfo::string(info.value(commands::keys::ItemId)).value_or(QString());
    if (itemId.isEmpty() || itemId.contains(QLatin1Char('/')) || itemId.contains(QChar(0)) ||
        itemId == QLatin1String("..") || itemId == QLatin1String(".")) {
        qCWarning(lcLayers).noquote()
            << "ItemCreated command has an illegal item id:" << CommandInfo::summarize({itemId});
        notification.abandon();
        return;
    }
    const QString folder = QDir(path()).filePath(itemId);
    if (QFileInfo(folder).isSymLink()) {
        qCWarning(lcLayers).noquote() << "ItemCreated command names a symbolic link, which is not followed:"
                                      << CommandInfo::summarize({itemId});
        notification.abandon();
        return;
    }
    // The folder may carry this group's own identifier (or hold an item that does): the registry
    // then takes the new item in its place, and this group lives on only until the handler ends.
    if (auto child = loadItemFolder(folder))
        child->setParentId(getId());
    insertChild(itemId, 0);
    const auto order = CommandInfo::stringList(info.value(commands::keys::ItemOrder));
    if (!order) {
        // Without a new order the group keeps its own, with the new item on top, rather than
        // losing every child.
        qCWarning(lcLayers).noquote()
            << "ItemCreated command doesn't have new item order; the new item goes on top";
        return;
    }
    // The root keeps "Defaults" and the black layer at its bottom (its bottom entries).
    setNewItems(*order);
}

} // namespace brevona
