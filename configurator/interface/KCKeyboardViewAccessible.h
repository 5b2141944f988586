#pragma once

#include <vector>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

namespace brevona {

class KCKeyboardView;

// The keyboard view in the accessibility tree: a list whose items are the keys, each named by its
// key name and carrying its selection state, with "press" (select it alone) and "toggle" (add it
// to or take it from the selection) actions, so screen readers and AT-SPI clients can use it.
class KCKeyboardViewAccessible : public QAccessibleWidget
{
public:
    explicit KCKeyboardViewAccessible(KCKeyboardView *view);
    ~KCKeyboardViewAccessible() override;

    // Makes Qt build this interface for every keyboard view; once per process.
    static void installFactory();
    // Tells assistive technology that a key's selection state changed.
    static void keySelectionChanged(KCKeyboardView *view, int key);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessible::State state() const override;

    KCKeyboardView *view() const;

private:
    // Interfaces of the keys made so far, by key index (0: not yet made).
    mutable std::vector<QAccessible::Id> m_keys;
};

// One key of a keyboard view.
class KCKeyboardKeyAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    KCKeyboardKeyAccessible(KCKeyboardView *view, int key);

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    int key() const { return m_key; }

private:
    QPointer<KCKeyboardView> m_view;
    int m_key;
};

} // namespace brevona
