#pragma once

#include <functional>
#include <vector>

#include <QMetaProperty>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

namespace brevona {

class KCSettingsProxy;

// The settings view of one plugin: the Qt Designer file its bundle ships
// ("Contents/Resources/<signature>.ui"), built with stock widgets only, so no plugin code runs to
// show it. Every control whose dynamic property "binding" names a setting of the proxy's plugin
// ("<signature with '_' for '.'>.<setting>") shows the proxy's value through its user property and
// stores what the user changes; the proxy's announcements show the values again. Buttons whose
// "chooseFile" or "chooseColor" property names a setting ask for a file or a colour and store it.
// A file that cannot be shown leaves the view empty.
class PluginSettingsView : public QWidget
{
    Q_OBJECT
public:
    // Settings views are a few kilobytes; anything beyond this is refused unread.
    static constexpr qint64 MaximumFileSize = 256 * 1024;

    enum class Choice
    {
        File,
        Color
    };
    // Asks the user for a file or a colour, starting from the setting's value; invalid when the
    // user cancels. `filter` is the button's "fileFilter".
    using Chooser = std::function<QVariant(Choice choice, const QVariant &current, const QString &filter,
                                           QWidget *parent)>;

    PluginSettingsView(const QString &uiFile, KCSettingsProxy *proxy, QWidget *parent = nullptr);
    ~PluginSettingsView() override;

    // Whether the file gave a form; false leaves the view empty.
    bool isLoaded() const { return m_form != nullptr; }
    QWidget *form() const { return m_form; }
    // The controls bound to a setting, chooser buttons included.
    int bindingCount() const { return int(m_bindings.size()); }

    // Shows every bound setting again, e.g. when another key's instance stands behind the proxy.
    void refresh();
    // Stores what controls that store when editing ends show but have not stored yet (before the
    // selection moves on, say).
    void commitEdits();
    // Replaces the file and colour dialogs.
    void setChooser(Chooser chooser);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void controlChanged();

private:
    struct Binding
    {
        QPointer<QWidget> control;
        QMetaProperty property; // the user property; invalid for a chooser button
        QString key;
        QVariant shown;     // what the control showed when it was last set from the proxy
        int storedType = 0; // the type of the proxy's value then, which edits keep
        Choice choice = Choice::File;
    };

    QWidget *loadForm(const QString &uiFile, QString &reason);
    void bindControls(QWidget *form);
    // The setting a key path names, or empty (logged) when it is not one of the proxy's plugin.
    QString settingOf(const QString &keyPath, const QWidget *control) const;
    void bindControl(QWidget *control, const QString &key);
    void bindChooser(QWidget *button, const QString &key, Choice choice);
    void showBinding(Binding &binding);
    void showSetting(const QString &key);
    void commit(QWidget *control);
    void choose(Binding &binding);
    // Validates `value` with the plugin and stores it; a refused value shows the stored one again.
    void store(Binding &binding, QVariant value);
    // The user-property binding of a control.
    Binding *bindingOf(const QObject *control);

    QString m_file;
    QPointer<KCSettingsProxy> m_proxy;
    // Connections inside the form may close or delete any part of it.
    QPointer<QWidget> m_form;
    std::vector<Binding> m_bindings;
    Chooser m_chooser;
    bool m_showing = false;
};

} // namespace brevona
