#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QString>
#include <QVariant>

namespace brevona {

class KDCondition;
class Notification;

// Base of the driver's groups and layers. Items are linked by identifier through one process-wide
// registry, which owns them; compositions share ownership of the layers they show.
class KDContext : public std::enable_shared_from_this<KDContext>
{
public:
    virtual ~KDContext();

    // Registers an item under its identifier; a later item with the same identifier replaces the
    // earlier one.
    static void registerContext(const std::shared_ptr<KDContext> &context);
    static std::shared_ptr<KDContext> getContextByIdentifier(const QString &identifier);
    static void clearRegistry();
    static std::size_t registrySize();

    const QString &getId() const { return m_identifier; }
    const QString &getDisplayName() const { return m_displayName; }
    const QString &getParentId() const { return m_parentIdentifier; }
    void setParentId(const QString &identifier) { m_parentIdentifier = identifier; }
    const QString &path() const { return m_path; }
    bool isDisabled() const { return m_disabled; }
    void setDisabled(bool disabled) { m_disabled = disabled; }

    // Applies "DisplayName", "Disabled" and "Conditions". Returns the error of a rejected
    // condition record, empty when all went through.
    QString initializeWithPlist(const QVariantMap &plist);
    QString setConditionsByPlistArray(const QVariantList &records);

    virtual bool isVisible() const;
    int modifiersInCondition() const;
    virtual bool isGroup() const { return false; }
    virtual int getChildItemsCount() const { return 0; }
    virtual std::shared_ptr<KDContext> getChildItemAtIndex(int) const { return nullptr; }
    virtual QString description() const = 0;

    // Inverts the disabled flag of the item named by the toggle request.
    virtual void toggleLayerVisibility(const QString &identifier);

protected:
    // `directory` empty for items that are not part of the store.
    explicit KDContext(const QString &directory);
    void startObserving();
    // A flag of the item's plist: false unless it is a boolean (one log line for another type).
    bool readFlag(const QVariantMap &plist, const QString &key) const;

    // An observer that holds the item for the whole of its handler: a command can replace the item
    // in the registry while the item is handling it (a folder the command loads may carry the same
    // identifier), and nothing else may own it then.
    template<typename Item>
    std::function<void(Notification &)> keepingAlive(void (Item::*handler)(Notification &))
    {
        return [item = weak_from_this(), handler](Notification &notification) {
            if (const auto self = item.lock())
                (static_cast<Item &>(*self).*handler)(notification);
        };
    }

private:
    void onVisibilityChanged(Notification &notification);
    void onConditionsChanged(Notification &notification);
    void onToggleRequest(Notification &notification);

    QString m_path;
    QString m_parentIdentifier;
    QString m_identifier;
    QString m_displayName;
    std::vector<std::unique_ptr<KDCondition>> m_conditions;
    bool m_disabled = false;
};

} // namespace brevona
