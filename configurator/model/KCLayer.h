#pragma once

#include <memory>

#include <QImage>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace brevona {

// The common part of every layer of the configurator: title, icon, conditions, identifier and
// the enabled switch. Layers are shared objects compared by identity; the store keys them by
// their identifier. Main thread only unless a subclass says otherwise.
class KCLayer : public std::enable_shared_from_this<KCLayer>
{
public:
    // An empty identifier makes a new one.
    explicit KCLayer(const QString &uuid = QString());
    virtual ~KCLayer();
    KCLayer(const KCLayer &) = delete;
    KCLayer &operator=(const KCLayer &) = delete;

    virtual QImage icon() const;
    virtual void setIcon(const QImage &icon);
    QString title() const { return m_title; }
    void setTitle(const QString &title);
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Computed layers (languages, control buttons) are not edited by the user.
    virtual bool staticLayer() const { return false; }
    // The keys this layer defines.
    virtual QStringList buttonNames() const { return {}; }
    // The picture a key shows in this layer; null when the layer has none for it.
    virtual QImage imageForButton(const QString &name);
    QString UUID() const { return m_uuid; }
    void setUUID(const QString &uuid);
    // Handed out as a copy.
    QVariantList conditions() const { return m_conditions; }
    // Stores the conditions with Caps Lock never a modifier key (normalizedConditions).
    void setConditions(const QVariantList &conditions);
    virtual bool isGroup() const { return false; }

    // A Caps Lock key inside a modifier condition becomes a Caps Lock condition of its own: the key
    // leaves the condition (a condition left with no key goes) and one "State" true Caps Lock
    // condition is appended unless the list has one.
    static QVariantList normalizedConditions(const QVariantList &conditions);
    // A freshly generated identifier: a UUID in canonical upper-case form.
    static QString newIdentifier();

protected:
    QImage m_icon;

private:
    QString m_title;
    QVariantList m_conditions;
    QString m_uuid;
    bool m_enabled = true;
};

} // namespace brevona

Q_DECLARE_METATYPE(brevona::KCLayer *)
