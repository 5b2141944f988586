#include "ConditionRowEditor.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSpinBox>
#include <QStandardPaths>
#include <QToolButton>

#include "ConditionKeys.h"

namespace brevona {

namespace {

namespace ck = conditionkeys;
using Kind = KCConditionsManager::Kind;
using MenuEntry = KCConditionsManager::MenuEntry;

constexpr int MaxNameWidth = 110;

QComboBox *comboBox(const QString &accessibleName, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setAccessibleName(accessibleName);
    // Long language names are cut rather than widening the layer list.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(13);
    return box;
}

// The combo box's entries from one of the editor's menus; a separator for an empty value when
// `separators` says so.
void fill(QComboBox *box, const QList<MenuEntry> &entries)
{
    for (const MenuEntry &entry : entries) {
        if (entry.role == MenuEntry::Role::Separator)
            box->insertSeparator(box->count());
        else
            box->addItem(QPixmap::fromImage(entry.icon), entry.title, entry.value);
    }
}

} // namespace

ConditionRowEditor::ConditionRowEditor(KCConditionsManager &conditions, int index,
                                       const KCConditionsManager::Row &row, bool editable, QWidget *parent)
    : QWidget(parent)
    , m_conditions(conditions)
    , m_index(index)
    , m_row(row)
{
    setObjectName(QStringLiteral("conditionRow%1").arg(index));
    setAccessibleName(row.text);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 2, 0);
    layout->setSpacing(4);

    if (!editable || row.kind == Kind::Unknown) {
        auto *text = new QLabel(row.text, this);
        text->setObjectName(QStringLiteral("conditionText"));
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (!row.icon.isNull()) {
            auto *icon = new QLabel(this);
            icon->setPixmap(QPixmap::fromImage(row.icon));
            layout->addWidget(icon);
        }
        layout->addWidget(text, 1);
    } else {
        switch (row.kind) {
        case Kind::Application:
            addApplicationControls(layout);
            break;
        case Kind::Modifier:
            addModifierControls(layout);
            break;
        case Kind::CapsLock:
            addCapsLockControls(layout);
            break;
        case Kind::Language:
            addLanguageControls(layout);
            break;
        case Kind::Idle:
            addIdleControls(layout);
            break;
        case Kind::Unknown:
            break;
        }
        layout->addStretch(1);
    }

    auto *remove = new QToolButton(this);
    remove->setObjectName(QStringLiteral("deleteCondition"));
    remove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    if (remove->icon().isNull())
        remove->setText(QStringLiteral("−"));
    remove->setAccessibleName(tr("Delete condition"));
    remove->setToolTip(tr("Delete this condition"));
    remove->setAutoRaise(true);
    remove->setEnabled(editable);
    connect(remove, &QToolButton::clicked, this, [this] { emit deleteRequested(m_index); });
    layout->addWidget(remove);
}

void ConditionRowEditor::choose(const QVariantMap &settings)
{
    if (settings != m_row.settings)
        emit settingsChosen(m_index, settings);
}

void ConditionRowEditor::addApplicationControls(QHBoxLayout *layout)
{
    const QString application = m_row.settings.value(ck::Application).toString();
    auto *button = new QToolButton(this);
    button->setObjectName(QStringLiteral("applicationButton"));
    button->setAccessibleName(tr("Application"));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setIcon(QPixmap::fromImage(m_row.icon));
    QString name = tr("Unknown");
    QMenu *menu = applicationsMenu();
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && action->data().toString() == application && !application.isEmpty())
            name = action->text().trimmed();
    }
    button->setMenu(menu);
    // A long name must not widen the layer list: it is cut, and said whole by the tool tip.
    button->setText(button->fontMetrics().elidedText(name, Qt::ElideRight, MaxNameWidth));
    button->setToolTip(name);
    layout->addWidget(button);

    QComboBox *predicate = comboBox(tr("Predicate"), this);
    predicate->setObjectName(QStringLiteral("predicateBox"));
    fill(predicate, KCConditionsManager::predicatesMenu());
    predicate->setCurrentIndex(predicate->findData(m_row.settings.value(ck::Predicate).toString()));
    connect(predicate, &QComboBox::activated, this, [this, predicate, application] {
        choose({{ck::Application, application}, {ck::Predicate, predicate->currentData().toString()}});
    });
    layout->addWidget(predicate);
}

QMenu *ConditionRowEditor::applicationsMenu()
{
    auto *menu = new QMenu(tr("Applications"), this);
    menu->setObjectName(QStringLiteral("applicationsMenu"));
    const QString predicate = m_row.settings.value(ck::Predicate).toString();
    for (const MenuEntry &entry : m_conditions.applicationsMenu()) {
        switch (entry.role) {
        case MenuEntry::Role::Separator:
            menu->addSeparator();
            break;
        case MenuEntry::Role::Header:
            menu->addAction(entry.title)->setEnabled(false);
            break;
        case MenuEntry::Role::Browse:
            menu->addAction(entry.title, this, &ConditionRowEditor::browseApplication);
            break;
        case MenuEntry::Role::Item: {
            // Menus have no indent of their own: the entries under a header are set in by blanks.
            QAction *action = menu->addAction(QPixmap::fromImage(entry.icon),
                                              QString(entry.indent * 2, QLatin1Char(' ')) + entry.title);
            action->setData(entry.value);
            connect(action, &QAction::triggered, this, [this, predicate, value = entry.value] {
                choose({{ck::Application, value}, {ck::Predicate, predicate}});
            });
            break;
        }
        }
    }
    return menu;
}

void ConditionRowEditor::browseApplication()
{
    const QString folder = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, QString(),
                                                  QStandardPaths::LocateDirectory);
    const QString path = QFileDialog::getOpenFileName(window(), tr("Choose an Application"), folder,
                                                      tr("Applications (*.desktop)"));
    if (path.isEmpty())
        return;
    const auto identifier = m_conditions.chooseCustomApplication(path);
    if (!identifier) {
        emit refused(tr("%1 does not describe an application").arg(path));
        return;
    }
    choose({{ck::Application, *identifier}, {ck::Predicate, m_row.settings.value(ck::Predicate)}});
}

void ConditionRowEditor::addModifierControls(QHBoxLayout *layout)
{
    const QStringList checked = m_row.settings.value(ck::Keys).toString().split(QLatin1Char('|'));
    QList<QToolButton *> keys;
    for (const QString &key : KCConditionsManager::modifierKeys()) {
        auto *button = new QToolButton(this);
        button->setObjectName(key);
        button->setCheckable(true);
        button->setChecked(checked.contains(key));
        // The symbols alone keep the row narrow enough for the layer list's width.
        button->setText(KCConditionsManager::modifierSymbol(key));
        button->setAccessibleName(key);
        button->setToolTip(key);
        keys.append(button);
        layout->addWidget(button);
    }
    for (QToolButton *button : std::as_const(keys)) {
        connect(button, &QToolButton::toggled, this, [this, keys] {
            QStringList names;
            for (const QToolButton *key : keys) {
                if (key->isChecked())
                    names.append(key->objectName());
            }
            choose({{ck::Keys, names.join(QLatin1Char('|'))}});
        });
    }
    layout->addWidget(new QLabel(tr("pressed"), this));
}

void ConditionRowEditor::addCapsLockControls(QHBoxLayout *layout)
{
    layout->addWidget(new QLabel(QStringLiteral("⇪ CapsLock"), this));
    QComboBox *state = comboBox(tr("Caps Lock state"), this);
    state->setObjectName(QStringLiteral("stateBox"));
    state->addItem(tr("is active"), true);
    state->addItem(tr("is not active"), false);
    state->setCurrentIndex(m_row.settings.value(ck::State).toBool() ? 0 : 1);
    connect(state, &QComboBox::activated, this, [this, state] {
        choose({{ck::State, state->currentData().toBool()}});
    });
    layout->addWidget(state);
}

void ConditionRowEditor::addLanguageControls(QHBoxLayout *layout)
{
    layout->addWidget(new QLabel(tr("Language is"), this));
    QComboBox *language = comboBox(tr("Language"), this);
    language->setObjectName(QStringLiteral("languageBox"));
    fill(language, m_conditions.languagesMenu());
    const QString current = QString::number(m_row.settings.value(ck::LanguageID).toLongLong());
    int at = language->findData(current);
    if (at < 0) {
        // A language the session no longer offers stays what it is until the user picks another.
        language->insertItem(0, tr("Unknown (%1)").arg(current), current);
        at = 0;
    }
    language->setCurrentIndex(at);
    connect(language, &QComboBox::activated, this, [this, language] {
        choose({{ck::LanguageID, language->currentData().toString().toLongLong()}});
    });
    layout->addWidget(language);
}

void ConditionRowEditor::addIdleControls(QHBoxLayout *layout)
{
    layout->addWidget(new QLabel(tr("Idle for"), this));
    auto *seconds = new QSpinBox(this);
    seconds->setObjectName(QStringLiteral("idleSeconds"));
    seconds->setAccessibleName(tr("Idle seconds"));
    seconds->setRange(1, KCConditionsManager::MaxIdleSeconds);
    seconds->setValue(m_row.settings.value(ck::Time).toInt());
    seconds->setSuffix(tr(" seconds"));
    // One edit when the user is done typing, not one per digit.
    seconds->setKeyboardTracking(false);
    connect(seconds, &QSpinBox::valueChanged, this, [this](int value) { choose({{ck::Time, value}}); });
    layout->addWidget(seconds);
}

} // namespace brevona
