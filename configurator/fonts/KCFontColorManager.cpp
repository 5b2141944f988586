#include "KCFontColorManager.h"

#include <algorithm>
#include <utility>

#include <QTimer>

#include "DrawingAttributes.h"
#include "FontsLogging.h"
#include "KCLanguageLayer.h"

namespace brevona {

QList<KCFontColorManager::MenuItem>
KCFontColorManager::fontMenu(const QStringList &families, const std::function<bool(const QString &)> &canUse)
{
    QList<MenuItem> menu;
    QList<MenuItem> refused;
    for (const QString &family : families) {
        if (!canUse || canUse(family))
            menu.append({family, family, true});
        else
            refused.append({IncompatiblePrefix + family, family, true});
    }
    if (!refused.isEmpty()) {
        menu.append({QString(), QString(), false});
        menu.append({IncompatibleTitle, QString(), false});
        menu.append(refused);
    }
    return menu;
}

KCFontColorManager::Boxes KCFontColorManager::validateBoxes(const FontCatalogue &catalogue,
                                                            const QString &family, bool bold, bool italic)
{
    Boxes boxes;
    boxes.boldEnabled = catalogue.hasBold(family);
    boxes.italicEnabled = catalogue.hasItalic(family);
    boxes.bold = bold && boxes.boldEnabled;
    boxes.italic = italic && boxes.italicEnabled;
    const auto drawn = catalogue.resolve(family, boxes.bold, boxes.italic);
    if (drawn && FontCatalogue::isBold(drawn->weight))
        boxes.bold = true;
    return boxes;
}

double KCFontColorManager::fittedSize(std::optional<double> typed)
{
    if (!typed)
        return EmptySize;
    return std::clamp(*typed, MinimumSize, MaximumSize);
}

KCFontColorManager::KCFontColorManager(KCLayerManager &manager, FontCatalogue catalogue, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_catalogue(std::move(catalogue))
{}

void KCFontColorManager::prepare()
{
    m_families = m_catalogue.plainFamilies();
    m_fontSize = 25.0;
    m_textColor = Qt::white;
    m_backgroundColor = Qt::black;
    m_family = m_families.value(0);
    rebuildFont();
}

std::shared_ptr<KCLanguageLayer> KCFontColorManager::languageLayer() const
{
    return std::dynamic_pointer_cast<KCLanguageLayer>(m_manager.currentLayer());
}

void KCFontColorManager::activate()
{
    m_active = true;
    const auto layer = languageLayer();
    m_menu =
        fontMenu(m_families, layer ? std::function<bool(const QString &)>(
                                         [layer](const QString &family) { return layer->canUseFont(family); })
                                   : std::function<bool(const QString &)>());
}

void KCFontColorManager::deactivate()
{
    applyPending();
    m_active = false;
}

void KCFontColorManager::keyboardViewSelectionDidChange(const QStringList &keys)
{
    if (!languageLayer())
        return;
    const bool wasEmpty = m_selection.isEmpty();
    m_selection = keys;
    // Extending a selection keeps what the controls show, so the new keys can be given it.
    if (!wasEmpty && keys.size() >= 2)
        return;
    loadFromKey();
}

void KCFontColorManager::loadFromKey()
{
    const auto layer = languageLayer();
    if (!layer || m_selection.isEmpty())
        return;
    m_dontUpdateAttributes = true;
    const QVariantMap attributes = layer->attributesForButton(m_selection.first());
    const QString family = attributes.value(DrawingAttributes::Font).toString();
    if (m_families.contains(family))
        m_family = family;
    m_textColor = DrawingAttributes::color(attributes.value(DrawingAttributes::Color));
    m_backgroundColor = DrawingAttributes::color(attributes.value(DrawingAttributes::Background));
    m_boxes = validateBoxes(m_catalogue, m_family, attributes.value(DrawingAttributes::Bold).toBool(),
                            attributes.value(DrawingAttributes::Italic).toBool());
    m_fontSize = fittedSize(attributes.value(DrawingAttributes::Size).toDouble());
    rebuildFont();
    m_dontUpdateAttributes = false;
}

void KCFontColorManager::rebuildFont()
{
    m_currentFont = m_catalogue.resolve(m_family, m_boxes.bold, m_boxes.italic);
}

void KCFontColorManager::changeFont(const QString &family, bool bold, bool italic)
{
    if (!m_catalogue.hasFamily(family)) {
        qCInfo(lcFonts, "Font family \"%s\" is not installed; the font stays", qUtf8Printable(family));
        return;
    }
    m_family = family;
    m_boxes = validateBoxes(m_catalogue, family, bold, italic);
    rebuildFont();
    updateButtonAttributes({DrawingAttributes::Font, DrawingAttributes::Bold, DrawingAttributes::Italic});
}

void KCFontColorManager::setFontSize(std::optional<double> typed)
{
    m_fontSize = fittedSize(typed);
    rebuildFont();
    updateButtonAttributes({DrawingAttributes::Size});
}

void KCFontColorManager::setTextColor(const QColor &color)
{
    m_textColor = color;
    updateButtonAttributes({DrawingAttributes::Color});
}

void KCFontColorManager::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    updateButtonAttributes({DrawingAttributes::Background});
}

void KCFontColorManager::resetAttributes()
{
    m_pendingReset = true;
    updateButtonAttributes({});
}

QString KCFontColorManager::previewText() const
{
    const auto layer = languageLayer();
    if (!layer || !layer->canUseFont(m_family))
        return QString();
    return layer->getQWERTYString();
}

void KCFontColorManager::updateButtonAttributes(const QStringList &names)
{
    if (m_dontUpdateAttributes)
        return;
    for (const QString &name : names)
        m_pending.insert(name);
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &KCFontColorManager::applyPending);
}

void KCFontColorManager::applyPending()
{
    if (!m_scheduled)
        return;
    m_scheduled = false;
    const QSet<QString> names = std::exchange(m_pending, {});
    const bool reset = std::exchange(m_pendingReset, false);
    const auto layer = languageLayer();
    if (!layer || m_selection.isEmpty())
        return;
    std::optional<QVariantMap> attributes;
    if (!reset) {
        const QVariantMap values{{DrawingAttributes::Size, m_fontSize},
                                 {DrawingAttributes::Color, m_textColor},
                                 {DrawingAttributes::Background, m_backgroundColor},
                                 {DrawingAttributes::Font, m_family},
                                 {DrawingAttributes::Bold, m_boxes.bold},
                                 {DrawingAttributes::Italic, m_boxes.italic}};
        attributes = QVariantMap();
        for (const QString &name : names)
            attributes->insert(name, values.value(name));
    }
    m_lastOutcome = m_manager.setLanguageAttributes(
        layer->languageID(), layer->currentModifierKeys(), m_selection, attributes,
        reset ? QStringLiteral("Reset Fonts and Colors") : QStringLiteral("Change Fonts and Colors"));
    if (reset)
        loadFromKey();
}

} // namespace brevona
