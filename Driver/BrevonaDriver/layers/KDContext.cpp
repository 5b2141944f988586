#include "KDContext.h"

#include <algorithm>

#include <unordered_map>

#include <QDir>
#include <QFileInfo>

#include "CommandInfo.h"
#include "CommandNames.h"
#include "KDActionListener.h"
#include "KDCondition.h"
#include "KDConditionFactory.h"
#include "LayerLogging.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "StoreNames.h"

namespace brevona {

namespace {

QHash<QString, std::shared_ptr<KDContext>> &registry()
{
    static QHash<QString, std::shared_ptr<KDContext>> map;
    return map;
}

} // namespace

KDContext::KDContext(const QString &directory)
    : m_path(directory)
    , m_identifier(directory.isEmpty() ? QString() : QFileInfo(QDir::cleanPath(directory)).fileName())
{}

KDContext::~KDContext()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void KDContext::startObserving()
{
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::configuratorSaid(commands::LayerVisibilityChanged),
                       keepingAlive(&KDContext::onVisibilityChanged));
    center.addObserver(this, notifications::configuratorSaid(commands::LayerConditionsChanged),
                       keepingAlive(&KDContext::onConditionsChanged));
    center.addObserver(this, notifications::ToggleLayerAction, keepingAlive(&KDContext::onToggleRequest));
}

void KDContext::onToggleRequest(Notification &notification)
{
    toggleLayerVisibility(notification.object().toString());
}

void KDContext::registerContext(const std::shared_ptr<KDContext> &context)
{
    if (context && !context->getId().isEmpty())
        registry().insert(context->getId(), context);
}

std::shared_ptr<KDContext> KDContext::getContextByIdentifier(const QString &identifier)
{
    return registry().value(identifier);
}

void KDContext::clearRegistry()
{
    // Destroying items can release others; swap first so the registry is never walked mid-change.
    QHash<QString, std::shared_ptr<KDContext>> old;
    old.swap(registry());
    old.clear();
}

std::size_t KDContext::registrySize()
{
    return static_cast<std::size_t>(registry().size());
}

QString KDContext::initializeWithPlist(const QVariantMap &plist)
{
    if (plist.contains(storenames::DisplayName))
        m_displayName = plist.value(storenames::DisplayName).toString();
    m_disabled = readFlag(plist, QStringLiteral("Disabled"));
    // Every item carries the total-activity condition, also one whose plist has no "Conditions".
    return setConditionsByPlistArray(plist.value(commands::keys::Conditions).toList());
}

bool KDContext::readFlag(const QVariantMap &plist, const QString &key) const
{
    // Only a boolean says yes or no; "yes", 1 or a date say nothing, as a missing flag does.
    const QVariant value = plist.value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.isValid())
        qCWarning(lcLayers).noquote() << key << "of" << m_identifier << "is" << CommandInfo::typeName(value)
                                      << "instead of a boolean - read as missing";
    return false;
}

QString KDContext::setConditionsByPlistArray(const QVariantList &records)
{
    const int previousModifiers = modifiersInCondition();
    auto result = KDConditionFactory::createConditions(records);
    m_conditions = std::move(result.conditions);
    // The item's action keys are registered under its old mask; the recomposition that follows
    // registers them anew under the new one.
    if (!m_disabled && modifiersInCondition() != previousModifiers)
        KDActionListener::sharedActionListener().unregisterAllHotkeys();
    return result.error;
}

bool KDContext::isVisible() const
{
    if (m_disabled)
        return false;
    for (const auto &condition : m_conditions) {
        if (!condition->isTrue())
            return false;
    }
    return true;
}

int KDContext::modifiersInCondition() const
{
    // The outermost enclosing item with a modifier condition decides. The parent links come from
    // commands, so the walk stops where the chain would run in a circle.
    std::vector<const KDContext *> chain{this};
    for (;;) {
        const KDContext *last = chain.back();
        if (last->m_parentIdentifier.isEmpty())
            break;
        const auto parent = getContextByIdentifier(last->m_parentIdentifier);
        if (!parent || std::find(chain.begin(), chain.end(), parent.get()) != chain.end())
            break;
        chain.push_back(parent.get());
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        for (const auto &condition : (*it)->m_conditions) {
            if (condition->isModifierCondition()) {
                if (const int mask = condition->neededModifierState())
                    return mask;
                break;
            }
        }
    }
    return 0;
}

void KDContext::toggleLayerVisibility(const QString &identifier)
{
    if (identifier != m_identifier)
        return;
    m_disabled = !m_disabled;
    NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
}

void KDContext::onVisibilityChanged(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    const auto identifier = CommandInfo::string(info.value(commands::keys::LayerId));
    if (!identifier) {
        qCWarning(lcLayers).noquote() << "LayerVisibilityChanged params doesn't have LayerId";
        notification.abandon();
        return;
    }
    if (*identifier != m_identifier)
        return;
    // A missing flag means "not enabled"; a flag of another type says nothing.
    const QVariant enabled = info.value(commands::keys::Enabled);
    const auto flag = enabled.isValid() ? CommandInfo::boolean(enabled) : std::optional<bool>(false);
    if (!flag) {
        qCWarning(lcLayers).noquote() << "LayerVisibilityChanged Enabled of" << m_identifier << "is"
                                      << CommandInfo::typeName(enabled) << "- ignored";
        return;
    }
    m_disabled = !*flag;
}

void KDContext::onConditionsChanged(Notification &notification)
{
    const QVariantMap &info = notification.userInfo();
    const auto identifier = CommandInfo::string(info.value(commands::keys::LayerId));
    if (!identifier) {
        qCWarning(lcLayers).noquote() << "LayerConditionsChanged params doesn't have LayerId";
        notification.abandon();
        return;
    }
    if (*identifier != m_identifier)
        return;
    const QVariant conditions = info.value(commands::keys::Conditions);
    if (!conditions.isValid() || conditions.typeId() != QMetaType::QVariantList) {
        qCWarning(lcLayers).noquote() << "LayerConditionsChanged params doesn't have conditions";
        notification.abandon();
        return;
    }
    const QString error = setConditionsByPlistArray(conditions.toList());
    if (!error.isEmpty()) {
        qCWarning(lcLayers).noquote() << error;
        notification.abandon();
    }
}

} // namespace brevona
