#include "KCControlButtonsManager.h"

#include <algorithm>
#include <utility>

#include <QTimer>

#include "DrawingAttributes.h"
#include "KCFontColorManager.h"
#include "KCKeyboardDefaultLayer.h"

namespace brevona {

KCControlButtonsManager::Chooser KCControlButtonsManager::chooserFor(const KCKeyboardDefaultLayer &layer,
                                                                     const QStringList &keys)
{
    if (keys.isEmpty())
        return {{}, {}, NothingSelected};
    const QStringList labels = layer.labelsForButton(keys.first());
    const bool shared = std::all_of(keys.cbegin(), keys.cend(),
                                    [&](const QString &key) { return layer.labelsForButton(key) == labels; });
    if (!shared)
        return {{}, {}, MultipleSelection};
    return {labels, layer.labelForButton(keys.first()), {}};
}

KCControlButtonsManager::KCControlButtonsManager(KCLayerManager &manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
{}

void KCControlButtonsManager::activate()
{
    m_active = true;
    m_iconSize = 25.0;
    m_textColor = Qt::white;
    m_backgroundColor = Qt::black;
}

void KCControlButtonsManager::deactivate()
{
    applyPending();
    m_active = false;
}

void KCControlButtonsManager::keyboardViewSelectionDidChange(const QStringList &keys)
{
    const auto layer = m_manager.keyboardDefaultLayer();
    if (!layer || m_manager.currentLayer() != layer)
        return;
    m_selection = keys;
    m_chooser = chooserFor(*layer, keys);
    m_previewLabel = keys.isEmpty() ? QString() : layer->labelForButton(keys.first());
    loadFromKey();
}

void KCControlButtonsManager::loadFromKey()
{
    const auto layer = m_manager.keyboardDefaultLayer();
    if (!layer || m_selection.isEmpty())
        return;
    m_dontUpdateAttributes = true;
    const QVariantMap attributes = layer->attributesForButton(m_selection.first());
    m_iconSize = attributes.value(DrawingAttributes::Size).toDouble();
    m_textColor = DrawingAttributes::color(attributes.value(DrawingAttributes::Color));
    m_backgroundColor = DrawingAttributes::color(attributes.value(DrawingAttributes::Background));
    m_dontUpdateAttributes = false;
}

KCLayerManager::Outcome KCControlButtonsManager::changeSymbol(const QString &label)
{
    const auto layer = m_manager.keyboardDefaultLayer();
    if (!layer || m_selection.isEmpty() || !m_chooser.message.isEmpty())
        return KCLayerManager::Outcome::Refused;
    applyPending();
    m_lastOutcome = m_manager.setControlLabel(m_selection, label);
    if (m_lastOutcome == KCLayerManager::Outcome::Done) {
        m_chooser.selected = label;
        m_previewLabel = label;
        loadFromKey();
    }
    return m_lastOutcome;
}

void KCControlButtonsManager::setIconSize(double size)
{
    m_iconSize = KCFontColorManager::fittedSize(size);
    updateButtonAttributes(DrawingAttributes::Size);
}

void KCControlButtonsManager::setTextColor(const QColor &color)
{
    m_textColor = color;
    updateButtonAttributes(DrawingAttributes::Color);
}

void KCControlButtonsManager::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    updateButtonAttributes(DrawingAttributes::Background);
}

void KCControlButtonsManager::resetAttributes()
{
    updateButtonAttributes(QString());
}

void KCControlButtonsManager::updateButtonAttributes(const QString &name)
{
    if (m_dontUpdateAttributes)
        return;
    // One attribute per pass: the latest call names it, as the controls send one at a time.
    const bool scheduled = m_pending.has_value();
    m_pending = name;
    if (!scheduled)
        QTimer::singleShot(0, this, &KCControlButtonsManager::applyPending);
}

void KCControlButtonsManager::applyPending()
{
    const std::optional<QString> name = std::exchange(m_pending, std::nullopt);
    if (!name || m_selection.isEmpty())
        return;
    std::optional<QVariantMap> attributes;
    if (!name->isEmpty()) {
        const QVariantMap values{{DrawingAttributes::Size, m_iconSize},
                                 {DrawingAttributes::Color, m_textColor},
                                 {DrawingAttributes::Background, m_backgroundColor}};
        attributes = QVariantMap{{*name, values.value(*name)}};
    }
    m_lastOutcome = m_manager.setControlAttributes(m_selection, attributes,
                                                   name->isEmpty() ? QStringLiteral("Reset Control Keys")
                                                                   : QStringLiteral("Change Control Keys"));
    if (name->isEmpty())
        loadFromKey();
}

} // namespace brevona
