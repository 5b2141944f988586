#include "KDLayer.h"

#include <QDir>
#include <QImage>
#include <QImageReader>

#include "CommandNames.h"
#include "HybridCorners.h"
#include "KDButton.h"
#include "LayerLogging.h"
#include "LayerStoreCodec.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PropertyList.h"

namespace brevona {

KDLayer::KDLayer(const QString &directory)
    : KDContext(directory)
{
}

KDLayer::~KDLayer()
{
    for (auto &[key, button] : m_buttons)
        button->deactivate();
}

std::shared_ptr<KDLayer> KDLayer::createWithDirectory(const QString &directory)
{
    std::shared_ptr<KDLayer> layer(new KDLayer(directory));
    if (!layer->load())
        return nullptr;
    registerContext(layer);
    layer->startObserving();
    layer->startLayerObserving();
    return layer;
}

bool KDLayer::load()
{
    const QString plistPath = QDir(path()).filePath(QStringLiteral("Layer.plist"));
    const auto plist = PropertyList::readDictionary(plistPath);
    if (!plist) {
        qCWarning(lcLayers).noquote() << QStringLiteral("Loading of %1 failed, layer was not created").arg(plistPath);
        return false;
    }
    QImageReader reader(QDir(path()).filePath(QStringLiteral("Main.tiff")));
    const QImage layerImage = reader.read();

    const QString error = initializeWithPlist(*plist);
    if (!error.isEmpty())
        qCWarning(lcLayers).noquote() << error;
    const QVariant buttons = plist->value(commands::keys::Buttons);
    if (buttons.typeId() == QMetaType::QVariantMap)
        initializeButtonsWithPlist(LayerStoreCodec::archiveButtonsInfo(buttons.toMap(), true), layerImage);
    setHybrid(isLanguageLayer() || plist->value(commands::keys::Hybrid).toBool());
    return true;
}

void KDLayer::initializeButtonsWithPlist(const QVariantMap &buttons, const QImage &layerImage)
{
    for (auto it = buttons.constBegin(); it != buttons.constEnd(); ++it) {
        auto button = KDButton::create(it.value().toMap(), it.key(), layerImage);
        if (!button)
            continue;
        button->setContext(getId());
        m_buttons[it.key()] = std::move(button);
    }
}

void KDLayer::startLayerObserving()
{
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::configuratorSaid(commands::ButtonsDeleted),
                       [this](Notification &n) { onButtonsDeleted(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::ButtonsChanged),
                       [this](Notification &n) { onButtonsChanged(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::PluginSettings),
                       [this](Notification &n) { onPluginSettings(n); });
    center.addObserver(this, notifications::configuratorSaid(commands::LayerHybridStateChanged),
                       [this](Notification &n) { onLayerHybridStateChanged(n); });
    center.addObserver(this, notifications::UpdateHybridSegments, [this](Notification &) { setHybrid(m_isHybrid); });
}

bool KDLayer::isLanguageLayer() const
{
    return getId().startsWith(QLatin1String("Lang")) || getId().startsWith(QLatin1String("Control"));
}

void KDLayer::setHybrid(bool hybrid)
{
    m_isHybrid = hybrid;
    if (!hybrid)
        setSegment(-2);
    else if (isLanguageLayer())
        setSegment(HybridCorners::languageCorner());
    else
        setSegment(HybridCorners::imageCorner());
}

void KDLayer::setSegment(int segment)
{
    m_segment = segment;
    for (auto &[key, button] : m_buttons)
        button->setSegment(segment);
}

void KDLayer::moveButton(const QString &sourceKey, KDLayer &target, const QString &targetKey)
{
    if (&target == this && sourceKey == targetKey)
        return;
    auto it = m_buttons.find(sourceKey);
    if (it == m_buttons.end())
        return;
    std::shared_ptr<KDButton> moving = it->second;
    m_buttons.erase(it);
    std::shared_ptr<KDButton> displaced;
    if (auto found = target.m_buttons.find(targetKey); found != target.m_buttons.end())
        displaced = found->second;

    moving->deactivate();
    moving->setIdentifier(targetKey);
    moving->setContext(target.getId());
    moving->setSegment(target.segment());
    target.m_buttons[targetKey] = moving;

    if (displaced) {
        displaced->deactivate();
        displaced->setIdentifier(sourceKey);
        displaced->setContext(getId());
        displaced->setSegment(m_segment);
        m_buttons[sourceKey] = displaced;
    }
}

QString KDLayer::description() const
{
    return QStringLiteral("[%1] Layer %2").arg(isVisible() ? QStringLiteral("x") : QStringLiteral(" "), getId());
}

bool KDLayer::isOurMessage(const Notification &notification) const
{
    return notification.userInfo().value(commands::keys::LayerId).toString() == getId();
}

void KDLayer::onButtonsDeleted(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    for (const QVariant &key : notification.userInfo().value(commands::keys::Buttons).toList()) {
        auto it = m_buttons.find(key.toString());
        if (it == m_buttons.end())
            continue;
        it->second->deactivate();
        it->second->setContext({});
        m_buttons.erase(it);
    }
}

void KDLayer::onButtonsChanged(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    const QVariant buttons = notification.userInfo().value(commands::keys::Buttons);
    if (buttons.typeId() != QMetaType::QVariantMap) {
        qCWarning(lcLayers).noquote() << "ButtonsChanged params don't have a Buttons dictionary";
        return;
    }
    const QVariantMap changes = buttons.toMap();
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap) {
            qCWarning(lcLayers).noquote() << "ButtonsChanged change of key" << it.key() << "is not a dictionary";
            continue;
        }
        auto &button = m_buttons[it.key()];
        if (!button) {
            button = KDButton::createWithId(it.key());
            button->setContext(getId());
            button->setSegment(m_segment);
        }
        button->changeByPlist(it.value().toMap());
    }
}

void KDLayer::onPluginSettings(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    const QVariantMap buttons = notification.userInfo().value(commands::keys::Buttons).toMap();
    for (auto it = buttons.constBegin(); it != buttons.constEnd(); ++it) {
        const auto found = m_buttons.find(it.key());
        if (found == m_buttons.end()) {
            qCWarning(lcLayers).noquote() << QStringLiteral("Layer with id '%1' doesn't have button '%2'").arg(getId(), it.key());
            continue;
        }
        found->second->setPluginSettingsByPlist(it.value().toMap());
    }
}

void KDLayer::onLayerHybridStateChanged(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    setHybrid(notification.userInfo().value(commands::keys::Hybrid).toBool());
}

} // namespace brevona
