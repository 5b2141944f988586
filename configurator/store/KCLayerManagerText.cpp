// Keys drawn from text: the fonts and colours of the language layers and the labels and colours of
// the control keys. The layers keep these in private files of their own; the store only holds
// the pictures drawn from them, under "Defaults". Each step sets the keys' complete overrides,
// so undo puts back exactly what was there, and the driver hears the new pictures after the
// store has them.
#include "KCLayerManager.h"

#include "CommandNames.h"
#include "DrawingAttributes.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "StoreJournal.h"
#include "StoreWriter.h"

namespace brevona {

namespace keys = commands::keys;

namespace {

QString modifierName(const QString &modifierKey)
{
    return modifierKey.isEmpty() ? QStringLiteral("None") : modifierKey;
}

} // namespace

QString KCLayerManager::languageLayerIdentifier(int languageID, const QString &modifierKey)
{
    return QStringLiteral("Lang%1_%2").arg(languageID).arg(modifierName(modifierKey));
}

std::shared_ptr<KCLanguageLayer> KCLayerManager::languageLayer(int languageID) const
{
    for (const auto &layer : m_languageLayers) {
        if (layer->languageID() == languageID)
            return layer;
    }
    return nullptr;
}

KCLayerManager::Outcome KCLayerManager::setLanguageAttributes(int languageID, const QString &modifierKey,
                                                              const QStringList &names,
                                                              const std::optional<QVariantMap> &attributes,
                                                              const QString &text)
{
    m_outcome = Outcome::Done;
    const auto layer = languageLayer(languageID);
    if (!layer)
        return refuse(QStringLiteral("There is no language layer %1").arg(languageID));
    if (!KCLanguageLayer::ModifierKeys.contains(modifierKey))
        return refuse(QStringLiteral("\"%1\" is no modifier key").arg(modifierKey));
    if (names.isEmpty())
        return refuse(QStringLiteral("No key is selected"));
    const QStringList drawn = layer->buttonNames();
    LanguageKeys forward;
    LanguageKeys backward;
    for (const QString &name : names) {
        if (!drawn.contains(name))
            return refuse(QStringLiteral("%1 is not a key of the language layer").arg(name));
        QHash<QString, QVariantMap> table{{name, layer->overridesForButton(name, modifierKey)}};
        const QVariantMap old = table.value(name);
        DrawingAttributes::applyEdit(table, name, attributes);
        if (table.value(name) == old)
            continue;
        forward[name] = table.value(name);
        backward[name] = old;
    }
    if (forward.empty())
        return Outcome::Done;
    return perform(
        text,
        [this, layer, modifierKey, forward] { return changeLanguageKeys(*layer, modifierKey, forward); },
        [this, layer, modifierKey, backward] { return changeLanguageKeys(*layer, modifierKey, backward); });
}

bool KCLayerManager::changeLanguageKeys(KCLanguageLayer &layer, const QString &modifierKey,
                                        const LanguageKeys &wanted)
{
    LanguageKeys old;
    for (const auto &[name, overrides] : wanted)
        old[name] = layer.overridesForButton(name, modifierKey);
    const auto apply = [&layer, &modifierKey](const LanguageKeys &which) {
        for (const auto &[name, overrides] : which) {
            layer.updateAttributes(std::nullopt, name, modifierKey);
            if (!overrides.isEmpty())
                layer.updateAttributes(overrides, name, modifierKey);
        }
        return layer.saveAttributesForModifiers(modifierKey);
    };
    const QString identifier = languageLayerIdentifier(layer.languageID(), modifierKey);
    const QString folder =
        QStringLiteral("%1/Language%2/%3").arg(DefaultsIdentifier).arg(layer.languageID()).arg(identifier);
    StoreJournal journal(*m_writer);
    if (!apply(wanted) || !journal.writePicture(folder, layer.layerImageForModifierKey(modifierKey))) {
        apply(old);
        return fail(QStringLiteral("The fonts of %1 cannot be written; nothing was changed").arg(identifier));
    }
    journal.commit();
    QVariantMap changed;
    for (const auto &[name, overrides] : wanted) {
        changed.insert(
            name, QVariantMap{{keys::Image, StoreWriter::tiffData(
                                                layer.imageForButtonAndModifierKey(name, modifierKey))}});
    }
    send(commands::ButtonsChanged, {{keys::LayerId, identifier}, {keys::Buttons, changed}});
    return true;
}

std::optional<KCLayerManager::Outcome> KCLayerManager::checkControlKeys(const QStringList &names)
{
    m_outcome = Outcome::Done;
    if (!m_defaultLayer)
        return refuse(QStringLiteral("The layer store is not loaded"));
    if (names.isEmpty())
        return refuse(QStringLiteral("No key is selected"));
    for (const QString &name : names) {
        if (!m_defaultLayer->buttonNames().contains(name))
            return refuse(QStringLiteral("%1 is not a control key").arg(name));
    }
    return std::nullopt;
}

KCLayerManager::Outcome KCLayerManager::setControlAttributes(const QStringList &names,
                                                             const std::optional<QVariantMap> &attributes,
                                                             const QString &text)
{
    if (const auto refused = checkControlKeys(names))
        return *refused;
    ControlKeys forward;
    for (const QString &name : names) {
        QHash<QString, QVariantMap> table{{name, m_defaultLayer->overridesForButton(name)}};
        DrawingAttributes::applyEdit(table, name, attributes);
        forward[name] = {m_defaultLayer->storedLabelForButton(name), table.value(name)};
    }
    return performControlEdit(text, forward);
}

KCLayerManager::Outcome KCLayerManager::setControlLabel(const QStringList &names, const QString &label)
{
    if (const auto refused = checkControlKeys(names))
        return *refused;
    ControlKeys forward;
    for (const QString &name : names) {
        if (!label.isEmpty() && !m_defaultLayer->labelsForButton(name).contains(label))
            return refuse(
                QStringLiteral("\"%1\" is not one of the labels of %2 (%3)")
                    .arg(label, name, m_defaultLayer->labelsForButton(name).join(QStringLiteral(", "))));
        // A label that is the key's default is still remembered as chosen: the data set may
        // change its first label later, the user's choice should not.
        forward[name] = {label.isEmpty() ? std::nullopt : std::optional<QString>(label),
                         m_defaultLayer->overridesForButton(name)};
    }
    return performControlEdit(label.isEmpty() ? QStringLiteral("Reset Label") : QStringLiteral("Set Label"),
                              forward);
}

KCLayerManager::Outcome KCLayerManager::performControlEdit(const QString &text, const ControlKeys &wanted)
{
    ControlKeys forward;
    ControlKeys backward;
    for (const auto &[name, state] : wanted) {
        const ControlKey old{m_defaultLayer->storedLabelForButton(name),
                             m_defaultLayer->overridesForButton(name)};
        if (old == state)
            continue;
        forward[name] = state;
        backward[name] = old;
    }
    if (forward.empty())
        return Outcome::Done;
    return perform(
        text, [this, forward] { return changeControlKeys(forward); },
        [this, backward] { return changeControlKeys(backward); });
}

bool KCLayerManager::changeControlKeys(const ControlKeys &wanted)
{
    KCKeyboardDefaultLayer &layer = *m_defaultLayer;
    ControlKeys old;
    for (const auto &[name, state] : wanted)
        old[name] = {layer.storedLabelForButton(name), layer.overridesForButton(name)};
    const auto apply = [&layer](const ControlKeys &which) {
        for (const auto &[name, state] : which) {
            if (state.label)
                layer.setLabel(*state.label, name);
            else
                layer.forgetLabel(name);
            layer.updateAttributes(std::nullopt, name);
            if (!state.overrides.isEmpty())
                layer.updateAttributes(state.overrides, name);
        }
        const bool labels = layer.saveData(QStringLiteral("labels"));
        return layer.saveData(QStringLiteral("attributes")) && labels;
    };
    StoreJournal journal(*m_writer);
    if (!apply(wanted) ||
        !journal.writePicture(DefaultsIdentifier + QLatin1Char('/') + KCKeyboardDefaultLayer::Identifier,
                              layer.layerImage())) {
        apply(old);
        return fail(QStringLiteral("The control keys cannot be written; nothing was changed"));
    }
    journal.commit();
    QVariantMap changed;
    for (const auto &[name, state] : wanted) {
        const QImage picture = layer.imageForButton(name);
        if (!picture.isNull())
            changed.insert(name, QVariantMap{{keys::Image, StoreWriter::tiffData(picture)}});
    }
    if (!changed.isEmpty())
        send(commands::ButtonsChanged,
             {{keys::LayerId, KCKeyboardDefaultLayer::Identifier}, {keys::Buttons, changed}});
    return true;
}

} // namespace brevona
