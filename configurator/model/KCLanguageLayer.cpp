#include "KCLanguageLayer.h"

#include <algorithm>

#include <QDir>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include "DeferredCall.h"
#include "DrawingAttributes.h"
#include "KeyLabelPainter.h"
#include "KeyTranslator.h"
#include "KeyboardData.h"
#include "LanguageTable.h"
#include "LayerPicture.h"
#include "ModelLogging.h"
#include "ModelNotifications.h"
#include "NotificationCenter.h"
#include "Paths.h"
#include "SystemModifiers.h"

namespace brevona {

namespace {

const QString kShift = QStringLiteral("Shift");
const QString kOpt = QStringLiteral("Opt");
const QString kCaps = QStringLiteral("Caps");
const QString kSaveOperation = QStringLiteral("saveAttributesForModifiers");
// The letter row of the reference layout, for font samples.
const QStringList kLetterRow{QStringLiteral("Q"), QStringLiteral("W"), QStringLiteral("E"),
                             QStringLiteral("R"), QStringLiteral("T"), QStringLiteral("Y")};

// Control characters (a key giving Escape or Backspace) have no picture.
QString printable(const QString &text)
{
    QString result;
    for (const QChar character : text) {
        if (character.isPrint() || character.isSurrogate())
            result.append(character);
    }
    return result;
}

} // namespace

const QStringList KCLanguageLayer::ModifierKeys{QString(),
                                                QStringLiteral("Shift"),
                                                QStringLiteral("Opt"),
                                                QStringLiteral("ShiftOpt"),
                                                QStringLiteral("Caps"),
                                                QStringLiteral("ShiftCaps"),
                                                QStringLiteral("OptCaps"),
                                                QStringLiteral("ShiftOptCaps")};

std::shared_ptr<KCLanguageLayer>
KCLanguageLayer::newLayerWithID(const QString &layoutName, std::shared_ptr<const KeyTranslator> translator,
                                const QString &title, const QImage &icon)
{
    std::shared_ptr<KCLanguageLayer> layer(new KCLanguageLayer(layoutName, std::move(translator)));
    layer->setTitle(title.isEmpty() ? layoutName : title);
    layer->setIcon(icon);
    layer->loadButtonAttributes();
    return layer;
}

KCLanguageLayer::KCLanguageLayer(const QString &layoutName, std::shared_ptr<const KeyTranslator> translator)
    : KCLayer(QStringLiteral("Language%1").arg(LanguageTable::identifierForLayout(layoutName)))
    , m_translator(std::move(translator))
{
    setLanguage(layoutName);
}

KCLanguageLayer::~KCLanguageLayer()
{
    // Edits still waiting for the event loop are written now rather than lost; observers are not
    // told about a layer that is going away.
    for (const QString &modifierKey : m_pendingSaves)
        writeAttributes(modifierKey);
    DeferredCall::cancelAll(this);
}

void KCLanguageLayer::setLanguage(const QString &layoutName)
{
    m_layoutName = layoutName;
    m_languageID = LanguageTable::identifierForLayout(layoutName);
    setUUID(QStringLiteral("Language%1").arg(m_languageID));
    std::lock_guard guard(m_cacheLock);
    m_buttonImagesCache.clear();
}

QStringList KCLanguageLayer::buttonNames() const
{
    QStringList names = KeyboardData::shared().virtualKeyCodes().keys();
    names.sort();
    return names;
}

QString KCLanguageLayer::workingAttributesDir() const
{
    return QDir(Paths::backgroundFolder()).filePath(QStringLiteral("Language-%1").arg(m_languageID));
}

QString KCLanguageLayer::attributesFileName(const QString &modifierKey)
{
    return (modifierKey.isEmpty() ? QStringLiteral("Default") : modifierKey) + QStringLiteral(".plist");
}

void KCLanguageLayer::loadButtonAttributes()
{
    const QDir folder(workingAttributesDir());
    if (!folder.mkpath(QStringLiteral(".")))
        qCWarning(lcModel, "Attributes folder %s cannot be created", qUtf8Printable(folder.path()));
    m_buttonAttributes.clear();
    for (const QString &modifierKey : ModifierKeys) {
        const auto table = DrawingAttributes::readTable(folder.filePath(attributesFileName(modifierKey)));
        if (!table.isEmpty())
            m_buttonAttributes.insert(modifierKey, table);
    }
    std::lock_guard guard(m_cacheLock);
    m_buttonImagesCache.clear();
}

QString KCLanguageLayer::cacheKeyForModifiers(unsigned state)
{
    QString key;
    if (state & KeyTranslator::kShift)
        key += kShift;
    if (state & KeyTranslator::kOption)
        key += kOpt;
    if (state & KeyTranslator::kCapsLock)
        key += kCaps;
    return key;
}

unsigned KCLanguageLayer::modifierStateForKey(const QString &modifierKey)
{
    unsigned state = 0;
    if (modifierKey.contains(kShift))
        state |= KeyTranslator::kShift;
    if (modifierKey.contains(kOpt))
        state |= KeyTranslator::kOption;
    if (modifierKey.contains(kCaps))
        state |= KeyTranslator::kCapsLock;
    return state;
}

unsigned KCLanguageLayer::liveModifierState()
{
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    unsigned state = 0;
    if (held & Qt::ShiftModifier)
        state |= KeyTranslator::kShift;
    if (held & (Qt::AltModifier | Qt::GroupSwitchModifier))
        state |= KeyTranslator::kOption;
    if (SystemModifiers::instance().isCapsLocked().value_or(false))
        state |= KeyTranslator::kCapsLock;
    return state;
}

void KCLanguageLayer::setCurrentModifierKeys(const QString &modifierKey)
{
    if (!ModifierKeys.contains(modifierKey)) {
        qCWarning(lcModel, "\"%s\" is no modifier key; %s keeps \"%s\"", qUtf8Printable(modifierKey),
                  qUtf8Printable(UUID()), qUtf8Printable(m_currentModifierKeys));
        return;
    }
    m_currentModifierKeys = modifierKey;
}

QImage KCLanguageLayer::imageForButton(const QString &name)
{
    return imageForButtonAndModifierState(name, liveModifierState());
}

QImage KCLanguageLayer::imageForButtonAndModifierState(const QString &name, unsigned state)
{
    return imageForButtonAndModifierKey(name, cacheKeyForModifiers(state));
}

QImage KCLanguageLayer::imageForButtonAndModifierKey(const QString &name, const QString &modifierKey)
{
    const QString cacheKey = modifierKey + name;
    {
        std::lock_guard guard(m_cacheLock);
        const auto cached = m_buttonImagesCache.constFind(cacheKey);
        if (cached != m_buttonImagesCache.cend())
            return *cached;
    }
    QImage picture = render(name, modifierKey);
    std::lock_guard guard(m_cacheLock);
    m_buttonImagesCache.insert(cacheKey, picture);
    return picture;
}

QImage KCLanguageLayer::render(const QString &name, const QString &modifierKey)
{
    const QVariantMap defaults = DrawingAttributes::languageDefaults();
    const QVariantMap attributes =
        DrawingAttributes::overlaid(defaults, m_buttonAttributes.value(modifierKey).value(name));
    const double size = attributes.value(DrawingAttributes::Size).toDouble();
    const QFont font =
        KeyLabelPainter::font(attributes.value(DrawingAttributes::Font).toString(),
                              size > 0 ? size : defaults.value(DrawingAttributes::Size).toDouble(),
                              attributes.value(DrawingAttributes::Bold).toBool(),
                              attributes.value(DrawingAttributes::Italic).toBool());
    QColor background = DrawingAttributes::color(attributes.value(DrawingAttributes::Background));
    if (!background.isValid())
        background = Qt::black;

    // The key's earlier canvas is drawn into again; it is taken out of the pool meanwhile so that
    // it is shared with nobody unless someone still holds the earlier picture.
    const QString cacheKey = modifierKey + name;
    QImage canvas;
    {
        std::lock_guard guard(m_cacheLock);
        canvas = m_buttonImagesPool.take(cacheKey);
    }
    if (canvas.isNull())
        canvas = QImage(LayerPicture::KeySize, LayerPicture::KeySize, LayerPicture::PixelFormat);
    canvas.fill(background);
    QPainter painter(&canvas);
    KeyLabelPainter::drawLetter(painter, stringForButton(name, modifierKey), font, background,
                                DrawingAttributes::color(attributes.value(DrawingAttributes::Color)),
                                QRectF(0, 0, LayerPicture::KeySize, LayerPicture::KeySize));
    painter.end();
    std::lock_guard guard(m_cacheLock);
    m_buttonImagesPool.insert(cacheKey, canvas);
    return canvas;
}

QString KCLanguageLayer::stringForButton(const QString &name, const QString &modifierKey) const
{
    if (!m_translator)
        return QString();
    return printable(m_translator->characters(m_layoutName, name, modifierStateForKey(modifierKey)));
}

QVariantMap KCLanguageLayer::attributesForButton(const QString &name) const
{
    return DrawingAttributes::overlaid(DrawingAttributes::languageDefaults(),
                                       m_buttonAttributes.value(m_currentModifierKeys).value(name));
}

void KCLanguageLayer::updateAttributes(const std::optional<QVariantMap> &attributes, const QString &name)
{
    updateAttributes(attributes, name, m_currentModifierKeys);
}

QVariantMap KCLanguageLayer::overridesForButton(const QString &name, const QString &modifierKey) const
{
    return m_buttonAttributes.value(modifierKey).value(name);
}

void KCLanguageLayer::updateAttributes(const std::optional<QVariantMap> &attributes, const QString &name,
                                       const QString &modifierKey)
{
    QHash<QString, QVariantMap> &table = m_buttonAttributes[modifierKey];
    DrawingAttributes::applyEdit(table, name, attributes);
    dropPicture(modifierKey + name);

    // Keyed by the modifier key: an edit under Shift and one under Opt in the same pass are two
    // files, and both are written.
    m_pendingSaves.insert(modifierKey);
    const std::weak_ptr<KCLayer> weak = weak_from_this();
    DeferredCall::performOnce(this, kSaveOperation, modifierKey, [weak, modifierKey] {
        if (const auto layer = std::static_pointer_cast<KCLanguageLayer>(weak.lock()))
            layer->saveAttributesForModifiers(modifierKey);
    });
}

void KCLanguageLayer::dropPicture(const QString &cacheKey)
{
    std::lock_guard guard(m_cacheLock);
    m_buttonImagesCache.remove(cacheKey);
}

bool KCLanguageLayer::writeAttributes(const QString &modifierKey) const
{
    const QDir folder(workingAttributesDir());
    return DrawingAttributes::writeTable(folder.filePath(attributesFileName(modifierKey)),
                                         m_buttonAttributes.value(modifierKey));
}

bool KCLanguageLayer::saveAttributesForModifiers(const QString &modifierKey)
{
    if (!ModifierKeys.contains(modifierKey)) {
        qCWarning(lcModel, "\"%s\" is no modifier key; no attribute file saved", qUtf8Printable(modifierKey));
        return false;
    }
    m_pendingSaves.erase(modifierKey);
    const bool written = writeAttributes(modifierKey);
    NotificationCenter::defaultCenter().post(notifications::KCLanguageLayerAttributesHaveChanged,
                                             QVariant::fromValue<KCLayer *>(this));
    return written;
}

QImage KCLanguageLayer::layerImageForModifierKey(const QString &modifierKey)
{
    QImage picture = LayerPicture::blackLayer();
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QString &name : buttonNames()) {
        if (const auto location = LayerPicture::location(name))
            painter.drawImage(*location, imageForButtonAndModifierKey(name, modifierKey));
    }
    return picture;
}

QString KCLanguageLayer::getQWERTYString() const
{
    QString sample;
    for (const QString &key : kLetterRow) {
        const QString character = stringForButton(key, QString());
        if (!character.isEmpty())
            sample += character.toUpper() + character;
    }
    return sample + QStringLiteral(", ABC, 1234567890.");
}

bool KCLanguageLayer::canUseFont(const QString &family) const
{
    const QString character = stringForButton(kLetterRow.first(), QString());
    if (character.isEmpty() || !KeyLabelPainter::hasFamily(family))
        return false;
    const QFontMetricsF metrics(QFont(family, 16));
    const QList<uint> codes = character.toUcs4();
    return std::all_of(codes.cbegin(), codes.cend(), [&](uint code) { return metrics.inFontUcs4(code); });
}

} // namespace brevona
