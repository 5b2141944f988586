// The user's structural edits. Each is one undoable edit whose steps change the model, write the
// files through a journal (rolled back when a later file operation fails) and then send one
// command; a failed step leaves everything as it was.
#include "KCLayerManager.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "CommandNames.h"
#include "KCGroupLayer.h"
#include "KCSingleLayer.h"
#include "StoreJournal.h"
#include "StoreLogging.h"
#include "StoreWriter.h"

namespace brevona {

namespace keys = commands::keys;

namespace {

template<typename T> void addOnce(std::vector<T> &list, const T &value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(value);
}

} // namespace

KCLayerManager::Placements KCLayerManager::newPlacements() const
{
    // A folder still parked when its edit leaves the undo stack is gone for good.
    return Placements(new std::vector<Placement>(), [](std::vector<Placement> *items) {
        for (const Placement &placement : *items) {
            if (!placement.parked.isEmpty())
                QDir(placement.parked).removeRecursively();
        }
        delete items;
    });
}

std::optional<QString> KCLayerManager::parkingPlace(const QString &identifier)
{
    if (!m_parking) {
        // Beside the store, so parking is a rename on the same file system, and outside it, so the
        // driver never loads a parked folder.
        const QString parent = QFileInfo(root()).absolutePath();
        m_parking = std::make_unique<QTemporaryDir>(parent + QStringLiteral("/.Layers-undo-XXXXXX"));
        if (!m_parking->isValid()) {
            qCWarning(lcStore, "No private undo folder can be made in %s", qUtf8Printable(parent));
            m_parking.reset();
            return std::nullopt;
        }
    }
    static int serial = 0;
    return m_parking->filePath(QStringLiteral("%1-%2").arg(++serial).arg(identifier));
}

bool KCLayerManager::writeOrders(StoreJournal &journal,
                                 const std::vector<std::shared_ptr<KCGroupLayer>> &groups,
                                 const std::function<void()> &undoModel)
{
    for (const auto &group : groups) {
        if (!writeItemProperties(journal, *group)) {
            undoModel();
            return fail(
                QStringLiteral("The order of %1 cannot be written; nothing was changed").arg(group->UUID()));
        }
    }
    return true;
}

bool KCLayerManager::insertItems(std::vector<Placement> &items)
{
    StoreJournal journal(*m_writer);
    std::vector<std::shared_ptr<KCGroupLayer>> groups;
    size_t inserted = 0;
    const auto undoModel = [&] {
        for (size_t i = inserted; i-- > 0;)
            items[i].group->removeLayer(items[i].item.get());
    };
    for (Placement &placement : items) {
        placement.group->insertLayer(placement.item, placement.index);
        ++inserted;
        const auto relative = relativePathForLayer(placement.item.get());
        const bool written =
            relative && (placement.parked.isEmpty()
                             ? writeTree(journal, *placement.item, *relative)
                             : journal.moveFolder(placement.parked, m_writer->absolutePath(*relative)));
        if (!written) {
            undoModel();
            return fail(
                QStringLiteral("%1 cannot be written; nothing was changed").arg(placement.item->UUID()));
        }
        addOnce(groups, placement.group);
    }
    if (!writeOrders(journal, groups, undoModel))
        return false;
    journal.commit();
    for (Placement &placement : items)
        placement.parked.clear();
    for (const Placement &placement : items) {
        send(commands::ItemCreated, {{keys::GroupId, placement.group->UUID()},
                                     {keys::ItemId, placement.item->UUID()},
                                     {keys::ItemOrder, childIdentifiers(*placement.group)}});
    }
    return true;
}

bool KCLayerManager::removeItems(std::vector<Placement> &items,
                                 const std::function<void(const Placement &, int)> &removed)
{
    // A pending picture lands in the folder before it is parked, so undo brings it back too.
    flushPictureSaves();
    StoreJournal journal(*m_writer);
    std::vector<std::shared_ptr<KCGroupLayer>> groups;
    size_t done = 0;
    const auto undoModel = [&] {
        for (size_t i = done; i-- > 0;) {
            items[i].group->insertLayer(items[i].item, items[i].index);
            items[i].parked.clear(); // the journal moves the folder back
        }
    };
    for (Placement &placement : items) {
        placement.group = groupForLayer(placement.item.get());
        const auto index =
            placement.group ? placement.group->indexOfLayer(placement.item.get()) : std::nullopt;
        const QString from = absolutePath(*placement.item);
        const auto parked = index && !from.isEmpty() ? parkingPlace(placement.item->UUID()) : std::nullopt;
        if (!parked || !journal.moveFolder(from, *parked)) {
            undoModel();
            return fail(
                QStringLiteral("%1 cannot be deleted; nothing was changed").arg(placement.item->UUID()));
        }
        placement.index = *index;
        placement.parked = *parked;
        placement.group->removeLayer(placement.item.get());
        ++done;
        if (removed)
            removed(placement, placement.group->count());
        addOnce(groups, placement.group);
    }
    if (!writeOrders(journal, groups, undoModel))
        return false;
    journal.commit();
    QStringList identifiers;
    for (const Placement &placement : items)
        identifiers.append(placement.item->UUID());
    send(commands::ItemsDeleted, {{keys::ItemIds, identifiers}});
    return true;
}

KCLayerManager::Outcome KCLayerManager::createNewLayer(const QString &title, const QVariantList &conditions)
{
    auto layer = KCSingleLayer::create();
    layer->setTitle(title);
    layer->setConditions(conditions);
    return addNewLayer(layer, QStringLiteral("New Layer"));
}

KCLayerManager::Outcome KCLayerManager::addNewLayer(const std::shared_ptr<KCSingleLayer> &layer,
                                                    const QString &text)
{
    if (!m_root)
        return refuse(QStringLiteral("The layer store is not loaded"));
    if (!layer || findLayerByID(layer->UUID()))
        return refuse(QStringLiteral("The new layer's identifier is already in use"));
    auto target = m_root;
    const auto current = m_currentLayer;
    if (current && current->isGroup())
        target = std::static_pointer_cast<KCGroupLayer>(current);
    else if (current && !current->staticLayer())
        target = groupForLayer(current.get());
    int index = target->count();
    if (m_selection.isEmpty())
        index = 0;
    else if (current && !current->isGroup() && target->hasLayer(current.get()))
        index = *target->indexOfLayer(current.get()) + 1;

    auto placements = newPlacements();
    placements->push_back({layer, target, index, {}});
    const bool expand = target != m_root && !target->isExpanded();
    const QStringList before = m_selection;
    return perform(
        text,
        [this, placements, expand] {
            Placement &placement = placements->front();
            placement.group->setExpanded(placement.group->isExpanded() || expand);
            if (!insertItems(*placements)) {
                placement.group->setExpanded(placement.group->isExpanded() && !expand);
                return false;
            }
            setSelection({placement.item->UUID()});
            return true;
        },
        [this, placements, expand, before] {
            Placement &placement = placements->front();
            if (expand)
                placement.group->setExpanded(false);
            if (!removeItems(*placements)) {
                placement.group->setExpanded(placement.group->isExpanded() || expand);
                return false;
            }
            setSelection(before);
            return true;
        });
}

KCLayerManager::Outcome KCLayerManager::createNewGroup(const QString &title, const QVariantList &conditions)
{
    if (!m_root)
        return refuse(QStringLiteral("The layer store is not loaded"));
    auto group = std::make_shared<KCGroupLayer>();
    group->setTitle(title);
    group->setConditions(conditions);
    group->setExpanded(true);
    int index = 0;
    if (m_currentLayer && !m_currentLayer->staticLayer()) {
        const auto parent = groupForLayer(m_currentLayer.get());
        const KCLayer *entry = parent == m_root ? m_currentLayer.get() : parent.get();
        if (const auto found = m_root->indexOfLayer(entry))
            index = *found + 1;
    }
    auto placements = newPlacements();
    placements->push_back({group, m_root, index, {}});
    const QStringList before = m_selection;
    return perform(
        QStringLiteral("New Group"),
        [this, placements] {
            if (!insertItems(*placements))
                return false;
            setSelection({placements->front().item->UUID()});
            return true;
        },
        [this, placements, before] {
            if (!removeItems(*placements))
                return false;
            setSelection(before);
            return true;
        });
}

KCLayerManager::Outcome KCLayerManager::addNewGroups(const std::vector<std::shared_ptr<KCGroupLayer>> &groups,
                                                     const QString &text)
{
    if (!m_root)
        return refuse(QStringLiteral("The layer store is not loaded"));
    if (groups.empty())
        return refuse(QStringLiteral("There is no group to add"));
    QSet<QString> identifiers;
    for (const auto &group : groups) {
        if (!group || identifiers.contains(group->UUID()) || findLayerByID(group->UUID()))
            return refuse(QStringLiteral("A new group's identifier is already in use"));
        identifiers.insert(group->UUID());
        for (const auto &child : group->layers()) {
            if (child->isGroup() || child->staticLayer() || identifiers.contains(child->UUID()) ||
                findLayerByID(child->UUID()))
                return refuse(QStringLiteral("A new group holds a layer that cannot be added"));
            identifiers.insert(child->UUID());
        }
    }
    // Where one new group would go (after the selected top-level entry, else on top), the groups
    // follow one another in their order.
    int index = 0;
    if (m_currentLayer && !m_currentLayer->staticLayer()) {
        const auto parent = groupForLayer(m_currentLayer.get());
        const KCLayer *entry = parent == m_root ? m_currentLayer.get() : parent.get();
        if (const auto found = m_root->indexOfLayer(entry))
            index = *found + 1;
    }
    auto placements = newPlacements();
    QStringList added;
    for (const auto &group : groups) {
        placements->push_back({group, m_root, index++, {}});
        added.append(group->UUID());
    }
    const QStringList before = m_selection;
    return perform(
        text,
        [this, placements, added] {
            if (!insertItems(*placements))
                return false;
            setSelection(added);
            return true;
        },
        [this, placements, before] {
            std::vector<Placement> restore(placements->rbegin(), placements->rend());
            if (!removeItems(restore))
                return false;
            std::reverse(restore.begin(), restore.end());
            *placements = std::move(restore);
            setSelection(before);
            return true;
        });
}

KCLayerManager::Outcome KCLayerManager::deleteSelection()
{
    m_currentLayer = nullptr;
    if (m_selection.isEmpty())
        return refuse(QStringLiteral("Nothing is selected to delete"));
    std::vector<std::shared_ptr<KCLayer>> chosen;
    for (const QString &identifier : m_selection) {
        const auto layer = findLayerByID(identifier);
        if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
            return refuse(QStringLiteral("Background layers cannot be deleted"));
        chosen.push_back(layer);
    }
    auto placements = newPlacements();
    int layers = 0;
    int groups = 0;
    bool ask = false;
    for (const auto &layer : chosen) {
        // A layer whose group goes too goes with the group's folder.
        const auto parent = groupForLayer(layer.get());
        if (parent != m_root && std::find(chosen.begin(), chosen.end(), parent) != chosen.end())
            continue;
        placements->push_back({layer, parent, 0, {}});
        if (layer->isGroup()) {
            ++groups;
            ask = ask || static_cast<const KCGroupLayer &>(*layer).count() > 0;
        } else {
            ++layers;
            ask = ask || static_cast<const KCSingleLayer &>(*layer).numberOfButtons() > 0;
        }
    }
    if (ask && m_confirmation) {
        const bool many = layers > 0 ? layers > 1 : groups > 1;
        const QString question =
            layers > 0 ? QStringLiteral("Do you really want to delete %1 with all %2?")
                             .arg(many ? QStringLiteral("these layers") : QStringLiteral("this layer"),
                                  many ? QStringLiteral("theirs buttons") : QStringLiteral("its buttons"))
                       : QStringLiteral("Do you really want to delete %1 with all its layers?")
                             .arg(many ? QStringLiteral("these groups") : QStringLiteral("this group"));
        if (!m_confirmation->confirmDelete(QStringLiteral("Confirm Delete"), question)) {
            m_lastError = QStringLiteral("Delete cancelled");
            return Outcome::Cancelled;
        }
    }
    const QStringList before = m_selection;
    return perform(
        QStringLiteral("Delete"),
        [this, placements] {
            std::shared_ptr<KCLayer> pick;
            bool picked = false;
            const auto reselect = [&](const Placement &placement, int countAfter) {
                if (!picked) {
                    pick = placement.group->layerAtIndex(placement.index > 0 ? placement.index - 1 : 0);
                    // Index 0 named the deleted item itself, which is gone now.
                    if (placement.index == 0)
                        pick = nullptr;
                    picked = true;
                }
                if (pick == placement.item)
                    pick = nullptr;
                if (countAfter == 0 && placement.group != m_root)
                    pick = placement.group;
            };
            if (!removeItems(*placements, reselect))
                return false;
            setSelection(pick ? QStringList{pick->UUID()} : QStringList{});
            return true;
        },
        [this, placements, before] {
            std::vector<Placement> restore(placements->rbegin(), placements->rend());
            if (!insertItems(restore))
                return false;
            std::reverse(restore.begin(), restore.end());
            *placements = std::move(restore);
            setSelection(before);
            return true;
        });
}

bool KCLayerManager::setSwitch(KCLayer &layer, bool enabled, bool tellDriver)
{
    const bool old = layer.enabled();
    layer.setEnabled(enabled);
    StoreJournal journal(*m_writer);
    if (!writeItemProperties(journal, layer)) {
        layer.setEnabled(old);
        return fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(layer.UUID()));
    }
    journal.commit();
    if (tellDriver)
        send(commands::LayerVisibilityChanged, {{keys::LayerId, layer.UUID()}, {keys::Enabled, enabled}});
    return true;
}

KCLayerManager::Outcome KCLayerManager::toggleLayer(const QString &identifier, bool enabled)
{
    const auto layer = findLayerByID(identifier);
    if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
        return refuse(QStringLiteral("%1 is not a layer or group of the user's").arg(identifier));
    const bool before = layer->enabled();
    return perform(
        enabled ? QStringLiteral("Enable") : QStringLiteral("Disable"),
        [this, layer, enabled] { return setSwitch(*layer, enabled, true); },
        [this, layer, before] { return setSwitch(*layer, before, true); });
}

bool KCLayerManager::writeConditions(KCLayer &layer, const QVariantList &conditions)
{
    const QVariantList old = layer.conditions();
    layer.setConditions(conditions);
    StoreJournal journal(*m_writer);
    if (!writeItemProperties(journal, layer)) {
        layer.setConditions(old);
        return fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(layer.UUID()));
    }
    journal.commit();
    send(commands::LayerConditionsChanged,
         {{keys::LayerId, layer.UUID()}, {keys::Conditions, layer.conditions()}});
    return true;
}

KCLayerManager::Outcome KCLayerManager::setConditions(const QString &identifier,
                                                      const QVariantList &conditions)
{
    const auto layer = findLayerByID(identifier);
    if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
        return refuse(
            QStringLiteral("%1 is not a layer or group of the user's: its conditions stay as they are")
                .arg(identifier));
    const QVariantList before = layer->conditions();
    return perform(
        QStringLiteral("Conditions"),
        [this, layer, conditions] { return writeConditions(*layer, conditions); },
        [this, layer, before] { return writeConditions(*layer, before); });
}

KCLayerManager::Outcome KCLayerManager::pluginToggleLayerVisibility(const QString &identifier)
{
    m_outcome = Outcome::Done;
    const auto layer = findLayerByID(identifier);
    if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
        return refuse(QStringLiteral("Toggle announcement for unknown item %1 ignored").arg(identifier));
    return setSwitch(*layer, !layer->enabled(), false) ? Outcome::Done : Outcome::Failed;
}

KCLayerManager::Outcome KCLayerManager::setHybrid(const QString &identifier, bool hybrid)
{
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(identifier));
    if (!layer || !relativePathForLayer(layer.get()))
        return refuse(QStringLiteral("%1 is not a layer of the user's").arg(identifier));
    const auto step = [this, layer](bool value) {
        const bool old = layer->hybrid();
        layer->setHybrid(value);
        StoreJournal journal(*m_writer);
        if (!writeItemProperties(journal, *layer)) {
            layer->setHybrid(old);
            return fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(layer->UUID()));
        }
        journal.commit();
        send(commands::LayerHybridStateChanged, {{keys::LayerId, layer->UUID()}, {keys::Hybrid, value}});
        return true;
    };
    const bool before = layer->hybrid();
    return perform(
        QStringLiteral("Hybrid"), [step, hybrid] { return step(hybrid); },
        [step, before] { return step(before); });
}

KCLayerManager::Outcome KCLayerManager::rename(const QString &identifier, const QString &title)
{
    const auto layer = findLayerByID(identifier);
    if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
        return refuse(QStringLiteral("%1 is not a layer or group of the user's").arg(identifier));
    // The driver keeps its own switch per item: a rename that switches the item off tells it.
    const auto step = [this, layer](const QString &newTitle, bool enabled) {
        const QString oldTitle = layer->title();
        const bool oldEnabled = layer->enabled();
        layer->setTitle(newTitle);
        layer->setEnabled(enabled);
        StoreJournal journal(*m_writer);
        if (!writeItemProperties(journal, *layer)) {
            layer->setTitle(oldTitle);
            layer->setEnabled(oldEnabled);
            return fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(layer->UUID()));
        }
        journal.commit();
        if (enabled != oldEnabled)
            send(commands::LayerVisibilityChanged,
                 {{keys::LayerId, layer->UUID()}, {keys::Enabled, enabled}});
        return true;
    };
    const QString oldTitle = layer->title();
    const bool oldEnabled = layer->enabled();
    const bool enabled = title == KCGroupLayer::TrashTitle ? false : oldEnabled;
    return perform(
        QStringLiteral("Rename"), [step, title, enabled] { return step(title, enabled); },
        [step, oldTitle, oldEnabled] { return step(oldTitle, oldEnabled); });
}

KCLayerManager::Outcome KCLayerManager::setExpanded(const QString &identifier, bool expanded)
{
    m_outcome = Outcome::Done;
    const auto group = std::dynamic_pointer_cast<KCGroupLayer>(findLayerByID(identifier));
    if (!group || !relativePathForLayer(group.get()))
        return refuse(QStringLiteral("%1 is not a group").arg(identifier));
    const bool old = group->isExpanded();
    group->setExpanded(expanded);
    StoreJournal journal(*m_writer);
    if (!writeItemProperties(journal, *group)) {
        group->setExpanded(old);
        fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(identifier));
        return Outcome::Failed;
    }
    journal.commit();
    return Outcome::Done;
}

} // namespace brevona
