// The keys of single layers: pictures and plugins, several keys in one undoable edit. Each step
// changes the model, writes the layer's properties and picture through a journal, and tells the
// driver what now stands; undo does the same with the old states.
#include "KCLayerManager.h"

#include "CommandNames.h"
#include "KCButton.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "NullMarker.h"
#include "StoreJournal.h"
#include "StoreWriter.h"

namespace brevona {

namespace keys = commands::keys;

namespace {

// What the driver needs to show a key: the plugins when it has a display plugin, else its
// picture; the action plugin either way (the null marker removes one it had).
QVariantMap keyChange(const KCLayerManager::KeyState &state)
{
    QVariantMap change;
    if (state.info.contains(KCLayerManager::DisplayPluginKey))
        change.insert(KCLayerManager::DisplayPluginKey, state.info.value(KCLayerManager::DisplayPluginKey));
    else
        change.insert(keys::Image, StoreWriter::tiffData(state.picture));
    change.insert(KCLayerManager::ActionPluginKey,
                  state.info.value(KCLayerManager::ActionPluginKey, nullMarker()));
    return change;
}

bool sameState(const std::optional<KCLayerManager::KeyState> &a,
               const std::optional<KCLayerManager::KeyState> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->info == b->info && a->picture == b->picture);
}

std::optional<KCLayerManager::KeyState> stateOf(KCSingleLayer &layer, const QString &key)
{
    if (!layer.hasButton(key))
        return std::nullopt;
    return KCLayerManager::KeyState{layer.pictureImageForButton(key).convertToFormat(QImage::Format_RGB32),
                                    layer.infoForButton(key).value_or(QVariantMap())};
}

} // namespace

std::optional<KCLayerManager::KeyState> KCLayerManager::keyState(const QString &layerIdentifier,
                                                                 const QString &key)
{
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(layerIdentifier));
    if (!layer)
        return std::nullopt;
    layer->ensureImageRestored();
    return stateOf(*layer, key);
}

KCLayerManager::Outcome KCLayerManager::setKeys(const QString &layerIdentifier, const KeyStates &states,
                                                const QString &text)
{
    m_outcome = Outcome::Done;
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(layerIdentifier));
    if (!layer || !relativePathForLayer(layer.get()))
        return refuse(QStringLiteral("%1 is not a layer of the user's").arg(layerIdentifier));
    layer->ensureImageRestored();
    KeyStates forward;
    KeyStates backward;
    for (const auto &[key, state] : states) {
        if (!LayerPicture::location(key))
            return refuse(QStringLiteral("%1 is not a key with a display").arg(key));
        std::optional<KeyState> wanted = state;
        if (wanted)
            wanted->picture = LayerPicture::keyPicture(wanted->picture).convertToFormat(QImage::Format_RGB32);
        const std::optional<KeyState> old = stateOf(*layer, key);
        if (sameState(old, wanted))
            continue;
        forward[key] = wanted;
        backward[key] = old;
    }
    if (forward.empty())
        return Outcome::Done;
    return perform(
        text, [this, layer, forward] { return changeKeys(*layer, forward); },
        [this, layer, backward] { return changeKeys(*layer, backward); });
}

bool KCLayerManager::changeKeys(KCSingleLayer &layer, const KeyStates &states, bool tell)
{
    layer.ensureImageRestored();
    KeyStates old;
    for (const auto &[key, state] : states)
        old[key] = stateOf(layer, key);
    const auto apply = [&layer](const KeyStates &which) {
        for (const auto &[key, state] : which) {
            if (!state) {
                layer.deleteButton(key);
                continue;
            }
            layer.createButton(key);
            layer.setDisplayPlugin(state->info.value(DisplayPluginKey).toMap(), key);
            layer.setActionPlugin(state->info.value(ActionPluginKey).toMap(), key);
            layer.setImage(state->picture, key);
        }
    };
    apply(states);
    StoreJournal journal(*m_writer);
    const auto relative = relativePathForLayer(&layer);
    const std::optional<QImage> stored = layer.layerImage();
    if (!relative || !journal.writeLayer(*relative, infoDictionaryForLayer(layer)) ||
        !journal.writePicture(*relative, stored ? *stored : LayerPicture::blackLayer())) {
        apply(old);
        return fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(layer.UUID()));
    }
    journal.commit();
    if (!tell)
        return true;
    QVariantMap changed;
    QStringList deleted;
    for (const auto &[key, state] : states) {
        if (state)
            changed.insert(key, keyChange(*state));
        else if (old.at(key))
            deleted.append(key);
    }
    if (!changed.isEmpty())
        send(commands::ButtonsChanged, {{keys::LayerId, layer.UUID()}, {keys::Buttons, changed}});
    if (!deleted.isEmpty())
        send(commands::ButtonsDeleted, {{keys::LayerId, layer.UUID()}, {keys::Buttons, deleted}});
    return true;
}

KCLayerManager::Outcome KCLayerManager::moveKey(const QString &sourceLayer, const QString &sourceKey,
                                                const QString &targetLayer, const QString &targetKey)
{
    m_outcome = Outcome::Done;
    const auto source = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(sourceLayer));
    const auto target = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(targetLayer));
    if (!source || !target || !relativePathForLayer(source.get()) || !relativePathForLayer(target.get()))
        return refuse(QStringLiteral("Keys move between layers of the user's"));
    if (!LayerPicture::location(targetKey))
        return refuse(QStringLiteral("%1 is not a key with a display").arg(targetKey));
    source->ensureImageRestored();
    target->ensureImageRestored();
    const auto moving = stateOf(*source, sourceKey);
    if (!moving)
        return refuse(QStringLiteral("%1 does not define key %2").arg(sourceLayer, sourceKey));
    if (source == target && sourceKey == targetKey)
        return Outcome::Done;
    const auto displaced = stateOf(*target, targetKey);
    const auto moved = [this](const QString &from, const QString &fromKey, const QString &to,
                              const QString &toKey) {
        send(commands::ButtonsMoved, {{keys::SourceLayer, from},
                                      {keys::Buttons, QVariantMap{{fromKey, toKey}}},
                                      {keys::TargetLayer, to}});
    };
    if (source == target) {
        // The two keys change places, here and in the driver.
        const KeyStates swapped{{targetKey, moving}, {sourceKey, displaced}};
        const KeyStates back{{targetKey, displaced}, {sourceKey, moving}};
        return perform(
            QStringLiteral("Swap Keys"),
            [this, source, swapped, moved, sourceLayer, sourceKey, targetKey] {
                if (!changeKeys(*source, swapped, false))
                    return false;
                moved(sourceLayer, sourceKey, sourceLayer, targetKey);
                return true;
            },
            [this, source, back, moved, sourceLayer, sourceKey, targetKey] {
                if (!changeKeys(*source, back, false))
                    return false;
                moved(sourceLayer, targetKey, sourceLayer, sourceKey);
                return true;
            });
    }
    return perform(
        QStringLiteral("Move Key"),
        [this, source, target, moving, displaced, moved, sourceLayer, sourceKey, targetLayer, targetKey] {
            if (!changeKeys(*target, {{targetKey, moving}}, false))
                return false;
            if (!changeKeys(*source, {{sourceKey, std::nullopt}}, false)) {
                changeKeys(*target, {{targetKey, displaced}}, false);
                return false;
            }
            moved(sourceLayer, sourceKey, targetLayer, targetKey);
            // The driver hands a displaced key to the source layer; here it is gone.
            if (displaced)
                send(commands::ButtonsDeleted,
                     {{keys::LayerId, sourceLayer}, {keys::Buttons, QStringList{sourceKey}}});
            return true;
        },
        [this, source, target, moving, displaced, sourceKey, targetKey] {
            return changeKeys(*target, {{targetKey, displaced}}) &&
                   changeKeys(*source, {{sourceKey, moving}});
        });
}

KCLayerManager::Outcome KCLayerManager::mergeKeySettings(const QString &layerIdentifier, const QString &key,
                                                         const QString &side, const QVariantMap &changes,
                                                         const SettingsTeller &tell)
{
    m_outcome = Outcome::Done;
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(layerIdentifier));
    if (!layer || !relativePathForLayer(layer.get()))
        return refuse(QStringLiteral("%1 is not a layer of the user's").arg(layerIdentifier));
    const auto state = stateOf(*layer, key);
    const QVariantMap entry = state ? state->info.value(side).toMap() : QVariantMap();
    if (entry.value(QStringLiteral("Signature")).toString().isEmpty())
        return refuse(QStringLiteral("Key %1 of %2 has no %3").arg(key, layerIdentifier, side));
    if (changes.isEmpty())
        return Outcome::Done;
    // What undo puts back: the old value of each changed setting, or its removal.
    const QVariantMap stored = entry.value(QStringLiteral("Settings")).toMap();
    QVariantMap old;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        old.insert(it.key(), stored.value(it.key(), nullMarker()));
    const auto step = [this, layer, key, side, tell](const QVariantMap &values) {
        if (!changeKeySettings(*layer, key, side, values))
            return false;
        if (tell)
            tell(values);
        return true;
    };
    return perform(
        QStringLiteral("Change Setting"), [step, changes] { return step(changes); },
        [step, old] { return step(old); });
}

bool KCLayerManager::changeKeySettings(KCSingleLayer &layer, const QString &key, const QString &side,
                                       const QVariantMap &changes)
{
    const auto button = layer.buttonForName(key);
    if (!button)
        return fail(QStringLiteral("Key %1 of %2 is gone").arg(key, layer.UUID()));
    const bool display = side == DisplayPluginKey;
    const QVariantMap old = display ? button->displayPluginSettings() : button->actionPluginSettings();
    if (display)
        layer.updateDisplayPluginSettings(changes, key);
    else
        layer.updateActionPluginSettings(changes, key);
    StoreJournal journal(*m_writer);
    const auto relative = relativePathForLayer(&layer);
    if (!relative || !journal.writeLayer(*relative, infoDictionaryForLayer(layer))) {
        if (display)
            button->setDisplayPluginSettings(old);
        else
            button->setActionPluginSettings(old);
        return fail(QStringLiteral("%1 cannot be written; nothing was changed").arg(layer.UUID()));
    }
    journal.commit();
    return true;
}

KCLayerManager::Outcome KCLayerManager::setKeyPicture(const QString &layerIdentifier, const QString &key,
                                                      const QImage &picture)
{
    if (picture.isNull())
        return refuse(QStringLiteral("The picture for %1 is empty").arg(key));
    const auto old = keyState(layerIdentifier, key);
    QVariantMap info = old ? old->info : QVariantMap();
    info.remove(DisplayPluginKey);
    return setKeys(layerIdentifier, {{key, KeyState{picture, info}}}, QStringLiteral("Set Key"));
}

KCLayerManager::Outcome KCLayerManager::clearKey(const QString &layerIdentifier, const QString &key)
{
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(findLayerByID(layerIdentifier));
    if (layer && !layer->hasButton(key))
        return refuse(QStringLiteral("%1 does not define key %2").arg(layerIdentifier, key));
    return setKeys(layerIdentifier, {{key, std::nullopt}}, QStringLiteral("Clear Key"));
}

} // namespace brevona
