#include "KDLayerManager.h"

#include <mutex>
#include <set>

#include <QDir>
#include <QRegularExpression>

#include "CommandInfo.h"
#include "CommandNames.h"
#include "KDActionListener.h"
#include "KDButton.h"
#include "KDCompoundLayer.h"
#include "KDDefaultLayer.h"
#include "KDLayer.h"
#include "KDLayerGroup.h"
#include "LayerLogging.h"
#include "MemoryHints.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "StoreNames.h"

namespace brevona {

namespace {

const QString RootId = QStringLiteral("Layers");

// Held for the whole exchange of compositions: display plugins may update buttons from their own
// threads while a composition is replaced.
std::recursive_mutex &contextClassLock()
{
    static std::recursive_mutex lock;
    return lock;
}

// Identifier lists from commands: an array of strings, or nothing (a wrong type counts as missing).
std::optional<QStringList> stringList(const QVariant &value)
{
    return CommandInfo::stringList(value);
}

std::shared_ptr<KDContext> contextNamed(const QVariant &identifier)
{
    const auto name = CommandInfo::string(identifier);
    return name ? KDContext::getContextByIdentifier(*name) : nullptr;
}

// Whether `identifier` is `item` or one of the groups around it.
bool encloses(const QString &identifier, const KDContext &item)
{
    QStringList seen;
    for (const KDContext *current = &item; current;) {
        if (current->getId() == identifier)
            return true;
        if (seen.contains(current->getId()))
            return false;
        seen.append(current->getId());
        const auto parent = KDContext::getContextByIdentifier(current->getParentId());
        current = parent.get();
    }
    return false;
}

void appendOutline(QString &text, const std::shared_ptr<KDContext> &item, int depth)
{
    if (!item || depth > 64)
        return;
    text += QString(depth * 2, QLatin1Char(' ')) + item->description() + QLatin1Char('\n');
    for (int i = 0; i < item->getChildItemsCount(); ++i)
        appendOutline(text, item->getChildItemAtIndex(i), depth + 1);
}

} // namespace

KDLayerManager::KDLayerManager(QString storeFolder, QString blackLayerFolder)
    : m_storeFolder(std::move(storeFolder))
    , m_blackLayerFolder(std::move(blackLayerFolder))
    , m_defaultLayer(KDDefaultLayer::create())
{
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::SomeConditionHaveTriggered,
                       [this](Notification &) { recompose(); });
    center.addObserver(this, notifications::configuratorSaid(commands::ItemsDeleted),
                       [this](Notification &n) { onLayersDeleted(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::LayersMoved),
                       [this](Notification &n) { onLayersMoved(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::GroupMoved),
                       [this](Notification &n) { onGroupMoved(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::ButtonsMoved),
                       [this](Notification &n) { onButtonsMoved(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::RefreshLayer),
                       [this](Notification &n) { onRefreshLayer(n); });
    load();
    recompose();
}

KDLayerManager::~KDLayerManager()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_currentLayer)
        m_currentLayer->deactivate();
    m_currentLayer.reset();
    m_root.reset();
    KDContext::clearRegistry();
}

void KDLayerManager::load()
{
    if (!QDir(m_storeFolder).exists())
        qCWarning(lcLayers).noquote() << "Layer store folder does not exist:" << m_storeFolder;
    m_root = KDLayerGroup::createWithDirectory(m_storeFolder);
    // The built-in tree and, below everything, the black layer that defines every key: no command
    // moves them from the bottom of the root, so a key no other visible layer defines shows black.
    QStringList bottom{storenames::DefaultsId};
    if (auto black = KDLayer::createWithDirectory(m_blackLayerFolder)) {
        black->setParentId(RootId);
        bottom.append(storenames::BlackLayerId);
    }
    m_root->setBottomEntries(bottom);
    qCDebug(lcLayers).noquote() << "Loaded" << KDContext::registrySize() << "items";
    // Each layer picture was decoded whole and dropped once its keys were cut out.
    MemoryHints::releaseFreeMemory();
}

void KDLayerManager::recompose()
{
    // The action keys of the new composition register again while it is activated; only the
    // difference to the old one reaches the session's hot keys.
    KDActionListener &listener = KDActionListener::sharedActionListener();
    listener.beginActionRegistration();
    {
        std::lock_guard guard(contextClassLock());
        auto fresh = std::make_unique<KDCompoundLayer>();
        fresh->addLayer(m_defaultLayer);
        if (m_root)
            m_root->addCompoundLayerTo(*fresh);
        try {
            if (m_currentLayer)
                m_currentLayer->deactivateByNewFreshLayer(*fresh);
            fresh->collapseCompoundButtons();
            fresh->activate();
        } catch (const std::exception &error) {
            qCWarning(lcLayers).noquote()
                << QStringLiteral("!!!: %1").arg(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            qCWarning(lcLayers).noquote() << QStringLiteral("!!!: unknown exception");
        }
        animateShownDemoGroups(*fresh);
        m_currentLayer = std::move(fresh);
    }
    listener.finishActionRegistration();
    QStringList names = m_currentLayer->layerIdentifiers();
    names.replaceInStrings(QRegularExpression(QStringLiteral("^$")), QStringLiteral("(default)"));
    qCDebug(lcLayers).noquote() << "Composition:" << names.join(QLatin1Char(' '));
}

void KDLayerManager::animateShownDemoGroups(const KDCompoundLayer &fresh)
{
    // A demo group animates exactly while the keyboard shows it: one hidden by its own switch, a
    // parent's, a condition or the keyboard's absence must not recompose every five seconds. A
    // running animation keeps its pace through other recompositions.
    std::set<KDLayerGroup *> shown;
    for (const auto &weak : fresh.animatedGroups()) {
        if (const auto group = weak.lock()) {
            shown.insert(group.get());
            group->setDemoRunning(true);
        }
    }
    if (!m_currentLayer)
        return;
    for (const auto &weak : m_currentLayer->animatedGroups()) {
        if (const auto group = weak.lock(); group && !shown.count(group.get()))
            group->setDemoRunning(false);
    }
}

QString KDLayerManager::outline() const
{
    QString text;
    appendOutline(text, m_root, 0);
    return text;
}

void KDLayerManager::onLayersMoved(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    auto target = contextNamed(info.value(commands::keys::GroupId));
    if (!target || !target->isGroup()) {
        qCWarning(lcLayers).noquote() << "LayersMoved command has illegal target group id";
        notification.abandon();
        return;
    }
    auto group = std::static_pointer_cast<KDLayerGroup>(target);
    const auto layerIds = stringList(info.value(commands::keys::LayerIds));
    if (!layerIds) {
        qCWarning(lcLayers).noquote() << "LayersMoved command doesn't have layer ids";
        notification.abandon();
        return;
    }
    const auto order = stringList(info.value(commands::keys::ItemOrder));
    if (!order) {
        qCWarning(lcLayers).noquote() << "LayersMoved command doesn't have new item order";
        notification.abandon();
        return;
    }
    for (const QString &id : *layerIds) {
        auto item = KDContext::getContextByIdentifier(id);
        if (!item) {
            qCWarning(lcLayers).noquote() << QStringLiteral("layer with id='%1' not found").arg(id);
            notification.abandon();
            return;
        }
        if (item->isGroup() && encloses(id, *group)) {
            qCWarning(lcLayers).noquote()
                << QStringLiteral("LayersMoved command would put group '%1' inside itself").arg(id);
            notification.abandon();
            return;
        }
        if (auto parent = KDContext::getContextByIdentifier(item->getParentId()); parent && parent->isGroup())
            std::static_pointer_cast<KDLayerGroup>(parent)->removeChildById(id);
        item->setParentId(group->getId());
    }
    group->setNewItems(*order);
}

void KDLayerManager::onGroupMoved(Notification &notification)
{
    const auto order = stringList(notification.userInfo().value(commands::keys::ItemOrder));
    if (!order) {
        qCWarning(lcLayers).noquote() << "LayersMoved command doesn't have new item order";
        notification.abandon();
        return;
    }
    if (!m_root)
        return;
    m_root->setNewItems(*order);
}

void KDLayerManager::onLayersDeleted(Notification &notification)
{
    const auto ids = stringList(notification.userInfo().value(commands::keys::ItemIds));
    if (!ids) {
        QStringList keys = notification.userInfo().keys();
        qCWarning(lcLayers).noquote() << QStringLiteral("illegal LayersDeleted params: %1 {%2}")
                                             .arg(notification.name(), keys.join(QStringLiteral(", ")));
        notification.abandon();
        return;
    }
    for (const QString &id : *ids) {
        auto item = KDContext::getContextByIdentifier(id);
        if (!item)
            continue;
        if (auto parent = KDContext::getContextByIdentifier(item->getParentId()); parent && parent->isGroup())
            std::static_pointer_cast<KDLayerGroup>(parent)->removeChildById(id);
    }
}

void KDLayerManager::onButtonsMoved(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    auto source = std::dynamic_pointer_cast<KDLayer>(contextNamed(info.value(commands::keys::SourceLayer)));
    if (!source) {
        qCWarning(lcLayers).noquote() << "buttons moved from non-existing layer";
        notification.abandon();
        return;
    }
    auto target = std::dynamic_pointer_cast<KDLayer>(contextNamed(info.value(commands::keys::TargetLayer)));
    if (!target) {
        qCWarning(lcLayers).noquote() << "buttons moved to non-existing layer";
        notification.abandon();
        return;
    }
    const auto pairs = CommandInfo::dictionary(info.value(commands::keys::Buttons));
    if (!pairs) {
        qCWarning(lcLayers).noquote() << "ButtonsMoved params don't have a Buttons dictionary";
        return;
    }
    QStringList skipped;
    for (auto it = pairs->constBegin(); it != pairs->constEnd(); ++it) {
        const auto targetKey = CommandInfo::string(it.value());
        // A button moved onto a key the keyboard lacks could never be shown again.
        if (!targetKey || !CommandInfo::isKnownKey(*targetKey)) {
            skipped.append(it.key());
            continue;
        }
        source->moveButton(it.key(), *target, *targetKey);
    }
    if (!skipped.isEmpty())
        qCWarning(lcLayers).noquote()
            << "ButtonsMoved skipped" << skipped.size()
            << "keys without a known target key:" << CommandInfo::summarize(skipped);
}

void KDLayerManager::onRefreshLayer(Notification &)
{
    std::lock_guard guard(contextClassLock());
    // Kept, inactive, until the next composition replaces it: keys that one lacks are then blacked
    // out as after any change.
    if (m_currentLayer)
        m_currentLayer->deactivate();
    m_root.reset();
    // Items deleted from disk must not keep answering commands after a full reread.
    KDContext::clearRegistry();
    load();
}

} // namespace brevona
