#include "KDLayer.h"

#include <QDir>

#include "CommandInfo.h"
#include "CommandNames.h"
#include "HybridCorners.h"
#include "KDButton.h"
#include "KDLayerPicture.h"
#include "LayerLogging.h"
#include "LayerStoreCodec.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PropertyList.h"
#include "StoreNames.h"

namespace brevona {

KDLayer::KDLayer(const QString &directory)
    : KDContext(directory)
{}

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
    const QString plistPath = QDir(path()).filePath(storenames::LayerFile);
    const auto plist = PropertyList::readDictionary(plistPath);
    if (!plist) {
        qCWarning(lcLayers).noquote()
            << QStringLiteral("Loading of %1 failed, layer was not created").arg(plistPath);
        return false;
    }
    // Read now, decoded when a key of the layer is first needed.
    const auto layerPicture = KDLayerPicture::read(QDir(path()).filePath(storenames::PictureFile));

    const QString error = initializeWithPlist(*plist);
    if (!error.isEmpty())
        qCWarning(lcLayers).noquote() << error;
    const QVariant buttons = plist->value(commands::keys::Buttons);
    if (buttons.typeId() == QMetaType::QVariantMap)
        initializeButtonsWithPlist(LayerStoreCodec::archiveButtonsInfo(buttons.toMap(), true), layerPicture);
    if (layerPicture)
        layerPicture->decodeIfSmaller();
    setHybrid(readFlag(*plist, commands::keys::Hybrid));
    return true;
}

void KDLayer::initializeButtonsWithPlist(const QVariantMap &buttons,
                                         const std::shared_ptr<KDLayerPicture> &layerPicture)
{
    for (auto it = buttons.constBegin(); it != buttons.constEnd(); ++it) {
        auto button = KDButton::create(it.value().toMap(), it.key(), layerPicture);
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
                       keepingAlive(&KDLayer::onButtonsDeleted));
    center.addObserver(this, notifications::configuratorSaid(commands::ButtonsChanged),
                       keepingAlive(&KDLayer::onButtonsChanged));
    center.addObserver(this, notifications::configuratorSaid(commands::PluginSettings),
                       keepingAlive(&KDLayer::onPluginSettings));
    center.addObserver(this, notifications::configuratorSaid(commands::LayerHybridStateChanged),
                       keepingAlive(&KDLayer::onLayerHybridStateChanged));
    center.addObserver(this, notifications::UpdateHybridSegments,
                       keepingAlive(&KDLayer::onUpdateHybridSegments));
}

void KDLayer::onUpdateHybridSegments(Notification &)
{
    setHybrid(m_isHybrid);
}

bool KDLayer::isLanguageLayer() const
{
    return getId().startsWith(QLatin1String("Lang")) || getId().startsWith(QLatin1String("Control"));
}

void KDLayer::setHybrid(bool hybrid)
{
    // Language and control-button layers are hybrid whatever their plist or a command says.
    m_isHybrid = hybrid || isLanguageLayer();
    if (!m_isHybrid)
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
    return QStringLiteral("[%1] Layer %2")
        .arg(isVisible() ? QStringLiteral("x") : QStringLiteral(" "), getId());
}

bool KDLayer::isOurMessage(const Notification &notification) const
{
    return CommandInfo::string(notification.userInfo().value(commands::keys::LayerId)) == getId();
}

void KDLayer::onButtonsDeleted(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    const auto keys = CommandInfo::list(notification.userInfo().value(commands::keys::Buttons));
    if (!keys) {
        qCWarning(lcLayers).noquote() << "ButtonsDeleted params don't have a Buttons array";
        return;
    }
    for (const QVariant &key : *keys) {
        const auto name = CommandInfo::string(key);
        auto it = name ? m_buttons.find(*name) : m_buttons.end();
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
    QStringList notDictionaries;
    QStringList unknownKeys;
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap) {
            notDictionaries.append(it.key());
            continue;
        }
        auto found = m_buttons.find(it.key());
        if (found == m_buttons.end()) {
            // A key the keyboard lacks has no display: a button for it would only take memory.
            if (!CommandInfo::isKnownKey(it.key())) {
                unknownKeys.append(it.key());
                continue;
            }
            auto button = KDButton::createWithId(it.key());
            button->setContext(getId());
            button->setSegment(m_segment);
            found = m_buttons.emplace(it.key(), std::move(button)).first;
        }
        // Held while plugin code runs for it.
        const std::shared_ptr<KDButton> button = found->second;
        button->changeByPlist(it.value().toMap());
    }
    if (!notDictionaries.isEmpty())
        qCWarning(lcLayers).noquote() << "ButtonsChanged skipped changes that are not dictionaries for keys"
                                      << CommandInfo::summarize(notDictionaries);
    if (!unknownKeys.isEmpty())
        qCWarning(lcLayers).noquote() << "ButtonsChanged skipped keys the keyboard doesn't have:"
                                      << CommandInfo::summarize(unknownKeys);
}

void KDLayer::onPluginSettings(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    const auto buttons = CommandInfo::dictionary(notification.userInfo().value(commands::keys::Buttons));
    if (!buttons) {
        qCWarning(lcLayers).noquote() << "PluginSettings params don't have a Buttons dictionary";
        return;
    }
    // One line per missing key, but a flood of them must not flood the log.
    constexpr int missingLogged = 10;
    QStringList missing;
    for (auto it = buttons->constBegin(); it != buttons->constEnd(); ++it) {
        const auto found = m_buttons.find(it.key());
        if (found == m_buttons.end()) {
            if (missing.size() < missingLogged)
                qCWarning(lcLayers).noquote() << QStringLiteral("Layer with id '%1' doesn't have button '%2'")
                                                     .arg(getId(), CommandInfo::summarize({it.key()}));
            missing.append(it.key());
            continue;
        }
        const auto settings = CommandInfo::dictionary(it.value());
        if (!settings) {
            qCWarning(lcLayers).noquote() << QStringLiteral("illegal plugin settings for button %1:\n%2")
                                                 .arg(it.key(), CommandInfo::typeName(it.value()));
            continue;
        }
        const std::shared_ptr<KDButton> button = found->second;
        button->setPluginSettingsByPlist(*settings);
    }
    if (missing.size() > missingLogged)
        qCWarning(lcLayers).noquote()
            << QStringLiteral("Layer with id '%1' doesn't have %2 more buttons of the command")
                   .arg(getId())
                   .arg(missing.size() - missingLogged);
}

void KDLayer::onLayerHybridStateChanged(Notification &notification)
{
    if (!isOurMessage(notification))
        return;
    // A missing flag means "not hybrid"; a flag of another type says nothing.
    const QVariant hybrid = notification.userInfo().value(commands::keys::Hybrid);
    const auto flag = hybrid.isValid() ? CommandInfo::boolean(hybrid) : std::optional<bool>(false);
    if (!flag) {
        qCWarning(lcLayers).noquote() << "LayerHybridStateChanged Hybrid of" << getId() << "is"
                                      << CommandInfo::typeName(hybrid) << "- ignored";
        return;
    }
    setHybrid(*flag);
}

} // namespace brevona
