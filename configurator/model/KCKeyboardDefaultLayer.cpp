#include "KCKeyboardDefaultLayer.h"

#include <QDir>
#include <QPainter>

#include "DeferredCall.h"
#include "DrawingAttributes.h"
#include "KeyboardData.h"
#include "KeyLabelPainter.h"
#include "LayerPicture.h"
#include "ModelLogging.h"
#include "ModelNotifications.h"
#include "NotificationCenter.h"
#include "Paths.h"
#include "PropertyList.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

const QString kLabels = QStringLiteral("labels");
const QString kAttributes = QStringLiteral("attributes");
const QString kSaveOperation = QStringLiteral("saveData");

QString fileFor(const QString &what)
{
    return what == kLabels ? QStringLiteral("Labels.plist") : QStringLiteral("Attributes.plist");
}

// "DefaultLayerData": control key -> offered labels, the default first.
QHash<QString, QStringList> offeredLabels()
{
    QHash<QString, QStringList> buttons;
    const QString path = KeyboardData::shared().filePath(resourcefiles::DefaultLayerData);
    const auto table = PropertyList::readDictionary(path);
    if (!table) {
        qCWarning(lcModel, "Control-button labels %s are missing or unreadable; no control button is drawn",
                  qUtf8Printable(path));
        return buttons;
    }
    for (auto it = table->cbegin(); it != table->cend(); ++it) {
        QStringList labels;
        for (const QVariant &label : it.value().toList()) {
            if (label.typeId() == QMetaType::QString)
                labels.append(label.toString());
        }
        if (labels.isEmpty()) {
            qCWarning(lcModel, "Control button %s offers no label in %s; it is left out",
                      qUtf8Printable(it.key()), qUtf8Printable(path));
            continue;
        }
        buttons.insert(it.key(), labels);
    }
    return buttons;
}

} // namespace

const QString KCKeyboardDefaultLayer::Identifier = QStringLiteral("ControlButtons");

std::shared_ptr<KCKeyboardDefaultLayer> KCKeyboardDefaultLayer::create()
{
    std::shared_ptr<KCKeyboardDefaultLayer> layer(new KCKeyboardDefaultLayer());
    layer->loadData();
    return layer;
}

KCKeyboardDefaultLayer::KCKeyboardDefaultLayer()
    : KCLayer(Identifier)
{
    setTitle(QStringLiteral("Control Buttons"));
    // A missing resource picture draws nothing.
    setIcon(QImage(KeyboardData::shared().filePath(QStringLiteral("DefaultButtonIcon.png"))));
}

KCKeyboardDefaultLayer::~KCKeyboardDefaultLayer()
{
    // Edits still waiting for the event loop are written now rather than lost; observers are not
    // told about a layer that is going away.
    for (const QString &what : m_pendingSaves)
        writeData(what);
    DeferredCall::cancelAll(this);
}

void KCKeyboardDefaultLayer::loadData()
{
    m_myButtons = offeredLabels();
    const QDir folder(workingAttributesDir());
    if (!folder.mkpath(QStringLiteral(".")))
        qCWarning(lcModel, "Attributes folder %s cannot be created", qUtf8Printable(folder.path()));
    m_buttonLabels = DrawingAttributes::readStrings(folder.filePath(fileFor(kLabels)));
    m_buttonAttributes = DrawingAttributes::readTable(folder.filePath(fileFor(kAttributes)));
    m_buttonImagesCache.clear();
}

QStringList KCKeyboardDefaultLayer::buttonNames() const
{
    QStringList names = m_myButtons.keys();
    names.sort();
    return names;
}

QString KCKeyboardDefaultLayer::workingAttributesDir() const
{
    return QDir(Paths::backgroundFolder()).filePath(Identifier);
}

QStringList KCKeyboardDefaultLayer::labelsForButton(const QString &name) const
{
    return m_myButtons.value(name);
}

QString KCKeyboardDefaultLayer::defaultLabelForButton(const QString &name) const
{
    return m_myButtons.value(name).value(0);
}

QString KCKeyboardDefaultLayer::labelForButton(const QString &name) const
{
    const auto chosen = m_buttonLabels.constFind(name);
    return chosen != m_buttonLabels.cend() ? *chosen : defaultLabelForButton(name);
}

QVariantMap KCKeyboardDefaultLayer::defaultAttributesForLabel(const QString &label)
{
    QVariantMap attributes = DrawingAttributes::controlDefaults();
    // Longer labels are drawn smaller; from eight characters on the rule alone would reach zero.
    const auto length = label.toUcs4().size();
    attributes.insert(DrawingAttributes::Size,
                      double(KeyLabelPainter::legibleSize(30.0 - 4.0 * double(length))));
    return attributes;
}

QVariantMap KCKeyboardDefaultLayer::attributesForButton(const QString &name) const
{
    return DrawingAttributes::overlaid(defaultAttributesForLabel(labelForButton(name)),
                                       m_buttonAttributes.value(name));
}

QImage KCKeyboardDefaultLayer::imageForButton(const QString &name)
{
    const auto cached = m_buttonImagesCache.constFind(name);
    if (cached != m_buttonImagesCache.cend())
        return *cached;
    if (!m_myButtons.contains(name))
        return QImage();
    const QVariantMap attributes = attributesForButton(name);
    const double size = attributes.value(DrawingAttributes::Size).toDouble();
    QColor background = DrawingAttributes::color(attributes.value(DrawingAttributes::Background));
    if (!background.isValid())
        background = Qt::black;
    QImage picture(LayerPicture::KeySize, LayerPicture::KeySize, LayerPicture::PixelFormat);
    picture.fill(background);
    QPainter painter(&picture);
    KeyLabelPainter::drawLetter(
        painter, labelForButton(name),
        KeyLabelPainter::systemFont(size > 0 ? size : KeyLabelPainter::MinimumLegibleSize), background,
        DrawingAttributes::color(attributes.value(DrawingAttributes::Color)),
        QRectF(0, 0, LayerPicture::KeySize, LayerPicture::KeySize));
    painter.end();
    m_buttonImagesCache.insert(name, picture);
    return picture;
}

void KCKeyboardDefaultLayer::updateAttributes(const std::optional<QVariantMap> &attributes,
                                              const QString &name)
{
    DrawingAttributes::applyEdit(m_buttonAttributes, name, attributes);
    m_buttonImagesCache.remove(name);
    scheduleSave(kAttributes);
}

void KCKeyboardDefaultLayer::setLabel(const QString &label, const QString &name)
{
    if (label.isEmpty() || name.isEmpty())
        return;
    m_buttonLabels.insert(name, label);
    m_buttonImagesCache.remove(name);
    scheduleSave(kLabels);
}

void KCKeyboardDefaultLayer::forgetLabel(const QString &name)
{
    if (m_buttonLabels.remove(name) == 0)
        return;
    m_buttonImagesCache.remove(name);
    scheduleSave(kLabels);
}

std::optional<QString> KCKeyboardDefaultLayer::storedLabelForButton(const QString &name) const
{
    const auto chosen = m_buttonLabels.constFind(name);
    if (chosen == m_buttonLabels.cend())
        return std::nullopt;
    return *chosen;
}

void KCKeyboardDefaultLayer::scheduleSave(const QString &what)
{
    m_pendingSaves.insert(what);
    const std::weak_ptr<KCLayer> weak = weak_from_this();
    DeferredCall::performOnce(this, kSaveOperation, what, [weak, what] {
        if (const auto layer = std::static_pointer_cast<KCKeyboardDefaultLayer>(weak.lock()))
            layer->saveData(what);
    });
}

bool KCKeyboardDefaultLayer::writeData(const QString &what) const
{
    const QString path = QDir(workingAttributesDir()).filePath(fileFor(what));
    return what == kLabels ? DrawingAttributes::writeStrings(path, m_buttonLabels)
                           : DrawingAttributes::writeTable(path, m_buttonAttributes);
}

bool KCKeyboardDefaultLayer::saveData(const QString &what)
{
    if (what != kLabels && what != kAttributes) {
        qCWarning(lcModel, "Control buttons: nothing called \"%s\" to save", qUtf8Printable(what));
        return false;
    }
    m_pendingSaves.erase(what);
    const bool written = writeData(what);
    NotificationCenter::defaultCenter().post(notifications::KCKeyboardDefaultLayerHaveChanged,
                                             QVariant::fromValue<KCLayer *>(this));
    return written;
}

QImage KCKeyboardDefaultLayer::layerImage()
{
    QImage picture = LayerPicture::blackLayer();
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QString &name : buttonNames()) {
        if (const auto location = LayerPicture::location(name))
            painter.drawImage(*location, imageForButton(name));
    }
    return picture;
}

} // namespace brevona
