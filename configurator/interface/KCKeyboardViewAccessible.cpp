#include "KCKeyboardViewAccessible.h"

#include "KCKeyboardView.h"

namespace brevona {

namespace {

QAccessibleInterface *makeInterface(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<KCKeyboardView *>(object))
        return new KCKeyboardViewAccessible(view);
    return nullptr;
}

} // namespace

KCKeyboardViewAccessible::KCKeyboardViewAccessible(KCKeyboardView *view)
    : QAccessibleWidget(view, QAccessible::List)
    , m_keys(static_cast<size_t>(view->geometry().count()), 0)
{}

KCKeyboardViewAccessible::~KCKeyboardViewAccessible()
{
    for (QAccessible::Id id : m_keys) {
        if (id)
            QAccessible::deleteAccessibleInterface(id);
    }
}

void KCKeyboardViewAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void KCKeyboardViewAccessible::keySelectionChanged(KCKeyboardView *view, int key)
{
    auto *parent = static_cast<KCKeyboardViewAccessible *>(QAccessible::queryAccessibleInterface(view));
    if (!parent || key < 0 || key >= parent->childCount())
        return;
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(parent->child(key), changed);
    QAccessible::updateAccessibility(&event);
}

KCKeyboardView *KCKeyboardViewAccessible::view() const
{
    return static_cast<KCKeyboardView *>(widget());
}

int KCKeyboardViewAccessible::childCount() const
{
    return static_cast<int>(m_keys.size());
}

QAccessibleInterface *KCKeyboardViewAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    QAccessible::Id &id = m_keys[static_cast<size_t>(index)];
    if (!id)
        id = QAccessible::registerAccessibleInterface(new KCKeyboardKeyAccessible(view(), index));
    return QAccessible::accessibleInterface(id);
}

int KCKeyboardViewAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto *key = dynamic_cast<const KCKeyboardKeyAccessible *>(child);
    return key && key->parent() == this ? key->key() : -1;
}

QAccessibleInterface *KCKeyboardViewAccessible::childAt(int x, int y) const
{
    const QString name = view()->buttonAt(view()->mapFromGlobal(QPoint(x, y)));
    return name.isEmpty() ? nullptr : child(view()->geometry().indexOf(name));
}

QAccessible::State KCKeyboardViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.multiSelectable = true;
    return state;
}

KCKeyboardKeyAccessible::KCKeyboardKeyAccessible(KCKeyboardView *view, int key)
    : m_view(view)
    , m_key(key)
{}

bool KCKeyboardKeyAccessible::isValid() const
{
    return m_view && m_key >= 0 && m_key < m_view->geometry().count();
}

QWindow *KCKeyboardKeyAccessible::window() const
{
    return m_view && m_view->window() ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface *KCKeyboardKeyAccessible::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
}

QString KCKeyboardKeyAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    const QString &name = m_view->geometry().key(m_key).name;
    switch (t) {
    case QAccessible::Name:
        return name;
    case QAccessible::Description:
        return m_view->imageForButton(name).isNull() ? QObject::tr("Empty key")
                                                     : QObject::tr("Key with a picture");
    default:
        return {};
    }
}

QRect KCKeyboardKeyAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect local = m_view->viewRectForImageRect(m_view->geometry().key(m_key).outside).toAlignedRect();
    return QRect(m_view->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State KCKeyboardKeyAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.selectable = true;
    state.selected = m_view->selectedButtons().contains(m_view->geometry().key(m_key).name);
    state.disabled = !m_view->isEnabled() || !m_view->canChangeSelection();
    state.invisible = !m_view->isVisible() || m_view->scaleFactor() <= 0;
    return state;
}

void *KCKeyboardKeyAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
}

QStringList KCKeyboardKeyAccessible::actionNames() const
{
    return {pressAction(), toggleAction()};
}

void KCKeyboardKeyAccessible::doAction(const QString &actionName)
{
    if (!isValid() || !m_view->isEnabled() || !m_view->canChangeSelection())
        return;
    const QString &name = m_view->geometry().key(m_key).name;
    if (actionName == pressAction()) {
        m_view->selectButtonNamed(name, false);
    } else if (actionName == toggleAction()) {
        m_view->toggleButtonNamed(name);
    }
}

} // namespace brevona
