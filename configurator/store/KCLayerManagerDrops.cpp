// Moving rows of the layer list: where a drop may land, and the move itself with its folder moves.
#include "KCLayerManager.h"

#include <algorithm>

#include "CommandNames.h"
#include "KCGroupLayer.h"
#include "StoreJournal.h"
#include "StoreWriter.h"

namespace brevona {

namespace keys = commands::keys;

std::optional<KCLayerManager::DropTarget>
KCLayerManager::validateDrop(const QStringList &dragged, const QString &onItem, int childIndex) const
{
    if (!m_root || dragged.isEmpty())
        return std::nullopt;
    bool anyGroup = false;
    for (const QString &identifier : dragged) {
        // Background layers have no folder in the tree: a drag holding one is refused whole.
        const auto layer = findLayerByID(identifier);
        if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
            return std::nullopt;
        anyGroup = anyGroup || layer->isGroup();
    }
    const int rootEnd = m_root->count() + 1; // the "LAYERS" header is row 0 of the top level
    if (onItem.isEmpty()) {
        if (childIndex < 0 || (childIndex == 0 && !anyGroup))
            return std::nullopt;
        return DropTarget{RootIdentifier, std::clamp(childIndex, 1, rootEnd) - 1};
    }
    const auto target = findLayerByID(onItem);
    if (!target || target->staticLayer())
        return std::nullopt;
    if (!target->isGroup())
        return std::nullopt; // onto a single layer
    const auto group = std::static_pointer_cast<KCGroupLayer>(target);
    if (anyGroup) // groups never nest: next to the group at the top level instead
        return DropTarget{RootIdentifier, *m_root->indexOfLayer(group.get()) + 1};
    if (childIndex < 0)
        return DropTarget{group->UUID(), group->count()};
    return DropTarget{group->UUID(), std::min(childIndex, group->count())};
}

KCLayerManager::Outcome KCLayerManager::acceptDrop(const QStringList &dragged, const DropTarget &target)
{
    const auto targetGroup = target.group == RootIdentifier
                                 ? m_root
                                 : std::dynamic_pointer_cast<KCGroupLayer>(findLayerByID(target.group));
    if (!targetGroup || !relativePathForLayer(targetGroup.get()))
        return refuse(QStringLiteral("%1 is not a group").arg(target.group));
    QStringList unique;
    for (const QString &identifier : dragged) {
        const auto layer = findLayerByID(identifier);
        if (!layer || layer->staticLayer() || !relativePathForLayer(layer.get()))
            return refuse(QStringLiteral("%1 cannot be moved").arg(identifier));
        if (layer->isGroup() && targetGroup != m_root)
            return refuse(QStringLiteral("Group %1 cannot go inside a group").arg(identifier));
        if (layer == targetGroup)
            return refuse(QStringLiteral("%1 cannot go inside itself").arg(identifier));
        if (!unique.contains(identifier))
            unique.append(identifier);
    }
    if (unique.isEmpty())
        return refuse(QStringLiteral("Nothing to move"));
    const DropTarget clamped{target.group, std::clamp(target.index, 0, targetGroup->count())};
    auto records = std::make_shared<std::vector<MoveRecord>>();
    const QStringList before = m_selection;
    return perform(
        QStringLiteral("Move"),
        [this, unique, clamped, records] {
            if (!moveItems(unique, clamped, *records))
                return false;
            setSelection(unique);
            return true;
        },
        [this, records, before] {
            if (!unmoveItems(*records))
                return false;
            setSelection(before);
            return true;
        });
}

bool KCLayerManager::moveItems(const QStringList &dragged, const DropTarget &target,
                               std::vector<MoveRecord> &records)
{
    const auto targetGroup = target.group == RootIdentifier
                                 ? m_root
                                 : std::static_pointer_cast<KCGroupLayer>(findLayerByID(target.group));
    records.clear();
    flushPictureSaves(); // a pending picture goes to the folder it was meant for
    StoreJournal journal(*m_writer);
    std::vector<std::shared_ptr<KCGroupLayer>> groups{targetGroup};
    const auto undoModel = [&] {
        for (auto record = records.rbegin(); record != records.rend(); ++record) {
            groupForLayer(record->item.get())->removeLayer(record->item.get());
            record->from->insertLayer(record->item, record->fromIndex);
        }
    };
    int position = target.index;
    for (const QString &identifier : dragged) {
        const auto layer = findLayerByID(identifier);
        const auto source = groupForLayer(layer.get());
        records.push_back({layer, source, *source->indexOfLayer(layer.get())});
        if (source != targetGroup) {
            const QString from = absolutePath(*layer);
            const auto base = relativePathForLayer(targetGroup.get());
            const QString to =
                m_writer->absolutePath(base->isEmpty() ? identifier : *base + QLatin1Char('/') + identifier);
            if (!journal.moveFolder(from, to)) {
                records.pop_back();
                undoModel();
                return fail(QStringLiteral("%1 cannot be moved; nothing was changed").arg(identifier));
            }
            source->removeLayer(layer.get());
            targetGroup->insertLayer(layer, position);
        } else {
            targetGroup->moveLayer(layer.get(), position);
        }
        if (std::find(groups.begin(), groups.end(), source) == groups.end())
            groups.push_back(source);
        ++position;
    }
    if (!writeOrders(journal, groups, undoModel))
        return false;
    journal.commit();
    const auto first = findLayerByID(dragged.first());
    if (dragged.size() == 1 && first->isGroup())
        send(commands::GroupMoved,
             {{keys::GroupId, first->UUID()}, {keys::ItemOrder, childIdentifiers(*m_root)}});
    else
        send(commands::LayersMoved, {{keys::GroupId, targetGroup->UUID()},
                                     {keys::LayerIds, dragged},
                                     {keys::ItemOrder, childIdentifiers(*targetGroup)}});
    return true;
}

bool KCLayerManager::unmoveItems(const std::vector<MoveRecord> &records)
{
    flushPictureSaves();
    StoreJournal journal(*m_writer);
    std::vector<std::shared_ptr<KCGroupLayer>> groups;
    // What is undone so far: current group and index of each record, to put back on failure.
    std::vector<std::pair<std::shared_ptr<KCGroupLayer>, int>> undone;
    const auto redoModel = [&] {
        for (size_t i = undone.size(); i-- > 0;) {
            const MoveRecord &record = records[records.size() - 1 - i];
            record.from->removeLayer(record.item.get());
            undone[i].first->insertLayer(record.item, undone[i].second);
        }
    };
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        const auto current = groupForLayer(record->item.get());
        const int index = *current->indexOfLayer(record->item.get());
        if (current != record->from) {
            const QString from = absolutePath(*record->item);
            const auto base = relativePathForLayer(record->from.get());
            const QString to = m_writer->absolutePath(
                base->isEmpty() ? record->item->UUID() : *base + QLatin1Char('/') + record->item->UUID());
            if (!journal.moveFolder(from, to)) {
                redoModel();
                return fail(
                    QStringLiteral("%1 cannot be moved back; nothing was changed").arg(record->item->UUID()));
            }
        }
        current->removeLayer(record->item.get());
        record->from->insertLayer(record->item, record->fromIndex);
        undone.emplace_back(current, index);
        if (std::find(groups.begin(), groups.end(), current) == groups.end())
            groups.push_back(current);
        if (std::find(groups.begin(), groups.end(), record->from) == groups.end())
            groups.push_back(record->from);
    }
    for (const auto &group : groups) {
        if (!writeItemProperties(journal, *group)) {
            redoModel();
            return fail(
                QStringLiteral("The order of %1 cannot be written; nothing was changed").arg(group->UUID()));
        }
    }
    journal.commit();
    // The driver learns each former group's order back, one command per group.
    if (records.size() == 1 && records.front().item->isGroup()) {
        send(commands::GroupMoved,
             {{keys::GroupId, records.front().item->UUID()}, {keys::ItemOrder, childIdentifiers(*m_root)}});
        return true;
    }
    std::vector<std::shared_ptr<KCGroupLayer>> sources;
    for (const MoveRecord &record : records) {
        if (std::find(sources.begin(), sources.end(), record.from) == sources.end())
            sources.push_back(record.from);
    }
    for (const auto &source : sources) {
        QStringList moved;
        for (const MoveRecord &record : records) {
            if (record.from == source)
                moved.append(record.item->UUID());
        }
        send(commands::LayersMoved, {{keys::GroupId, source->UUID()},
                                     {keys::LayerIds, moved},
                                     {keys::ItemOrder, childIdentifiers(*source)}});
    }
    return true;
}

} // namespace brevona
