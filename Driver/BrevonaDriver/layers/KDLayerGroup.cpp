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

namespace brevona {

namespace {
constexpr int DemoIntervalMs = 5000;
const QString GroupPlist = QStringLiteral("Group.plist");
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
    return QFileInfo(QDir(directory).filePath(GroupPlist)).isFile();
}

KDLayerGroup::KDLayerGroup(const QString &directory)
    : KDContext(directory)
{
}

KDLayerGroup::~KDLayerGroup()
{
    delete m_demoTimer;
}

std::shared_ptr<KDLayerGroup> KDLayerGroup::createWithDirectory(const QString &directory)
{
    std::shared_ptr<KDLayerGroup> group(new KDLayerGroup(directory));
    registerContext(group);
    group->load();
    return group;
}

void KDLayerGroup::load()
{
    const auto plist = PropertyList::readDictionary(QDir(path()).filePath(GroupPlist));
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

    const QFileInfoList entries =
        QDir(path()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (auto child = loadItemFolder(entry.filePath()))
            child->setParentId(getId());
    }

    if (m_demoGroup)
        updateDemoTimer();
    startObserving();
    NotificationCenter::defaultCenter().addObserver(this, notifications::configuratorSaid(commands::ItemCreated),
                                                    [this](Notification &n) { onCreateItem(n); });
}

void KDLayerGroup::addCompoundLayerTo(KDCompoundLayer &composition) const
{
    std::vector<const KDLayerGroup *> path;
    addCompoundLayerTo(composition, path);
}

void KDLayerGroup::addCompoundLayerTo(KDCompoundLayer &composition, std::vector<const KDLayerGroup *> &path) const
{
    if (!isVisible())
        return;
    // An order that names this group or a group around it (a store edited by hand, an odd command)
    // contributes nothing there instead of recursing for ever.
    if (std::find(path.begin(), path.end(), this) != path.end())
        return;
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
            static_cast<const KDLayerGroup &>(*child).addCompoundLayerTo(composition, path);
        else
            composition.addLayer(std::static_pointer_cast<KDLayer>(child));
    }
    path.pop_back();
}

void KDLayerGroup::setNewItems(const QStringList &items)
{
    m_itemOrder = items;
    m_currentActiveDemoLayer = 0;
}

QString KDLayerGroup::insertChild(const QString &identifier, quint32 index)
{
    if (index != AppendIndex && index != 0 && index >= static_cast<quint32>(m_itemOrder.size()))
        return QStringLiteral("KDLayerGroup insertChild failed due to illegal parameter: index=%1")
            .arg(static_cast<qint32>(index));
    if (auto child = getContextByIdentifier(identifier))
        child->setParentId(getId());
    if (index == AppendIndex)
        m_itemOrder.append(identifier);
    else
        m_itemOrder.insert(static_cast<qsizetype>(index), identifier);
    return {};
}

void KDLayerGroup::removeChildById(const QString &identifier)
{
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
    return QStringLiteral("[%1] Group %2").arg(isVisible() ? QStringLiteral("x") : QStringLiteral(" "), getId());
}

void KDLayerGroup::toggleLayerVisibility(const QString &identifier)
{
    // A demo group follows only the toggles that name it: toggling another item must not stop or
    // restart its animation.
    KDContext::toggleLayerVisibility(identifier);
    if (identifier == getId() && m_demoGroup)
        updateDemoTimer();
}

void KDLayerGroup::updateDemoTimer()
{
    if (m_demoGroup && !m_demoTimer && !isDisabled()) {
        m_demoTimer = new QTimer;
        m_demoTimer->setInterval(DemoIntervalMs);
        QObject::connect(m_demoTimer, &QTimer::timeout, [this] { animateDemoGroup(); });
        m_demoTimer->start();
    } else if (m_demoTimer) {
        delete m_demoTimer;
        m_demoTimer = nullptr;
    }
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
    if (itemId.isEmpty() || itemId.contains(QLatin1Char('/')) || itemId.contains(QChar(0))
        || itemId == QLatin1String("..") || itemId == QLatin1String(".")) {
        qCWarning(lcLayers).noquote() << "ItemCreated command has an illegal item id:"
                                      << CommandInfo::summarize({itemId});
        notification.abandon();
        return;
    }
    if (auto child = loadItemFolder(QDir(path()).filePath(itemId)))
        child->setParentId(getId());
    insertChild(itemId, 0);
    const auto order = CommandInfo::stringList(info.value(commands::keys::ItemOrder));
    if (!order) {
        // Without a new order the group keeps its own, with the new item on top, rather than
        // losing every child.
        qCWarning(lcLayers).noquote() << "ItemCreated command doesn't have new item order; the new item goes on top";
        return;
    }
    setNewItems(*order);
    if (getId() == QLatin1String("Layers"))
        m_itemOrder.append(QStringLiteral("Defaults"));
}

} // namespace brevona
