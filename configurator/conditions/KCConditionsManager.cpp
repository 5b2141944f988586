#include "KCConditionsManager.h"

#include <array>
#include <cmath>
#include <limits>

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QUndoStack>

#include "ApplicationsHelper.h"
#include "ConditionKeys.h"
#include "ConditionsLogging.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KCLayer.h"
#include "LanguagesHelper.h"

namespace brevona {

namespace ck = conditionkeys;

namespace {

struct KindInfo
{
    KCConditionsManager::Kind kind;
    const QString &type;
    QString menuTitle;
    QString newItemTitle; // empty: not offered when making a layer or group
};

// The editable kinds in menu order.
const std::array<KindInfo, 5> &kinds()
{
    static const std::array<KindInfo, 5> table{{
        {KCConditionsManager::Kind::Application, ck::ApplicationType, QStringLiteral("Application"),
         QStringLiteral("Application-specific")},
        {KCConditionsManager::Kind::Modifier, ck::ModifierType, QStringLiteral("Modifier"),
         QStringLiteral("Modifier-specific")},
        {KCConditionsManager::Kind::CapsLock, ck::CapsLockType, QStringLiteral(" CapsLock"), QString()},
        {KCConditionsManager::Kind::Language, ck::LanguageType, QStringLiteral("Language"),
         QStringLiteral("Language-specific")},
        {KCConditionsManager::Kind::Idle, ck::IdleType, QStringLiteral("Idle for … seconds"), QString()},
    }};
    return table;
}

struct ModifierName
{
    QString name;
    QString symbol;
};

// The modifier cell's keys, in the order the rows name them.
const std::array<ModifierName, 4> &modifierNames()
{
    static const std::array<ModifierName, 4> names{{
        {QStringLiteral("Control"), QStringLiteral("⌃")},
        {QStringLiteral("Option"), QStringLiteral("⌥")},
        {QStringLiteral("Shift"), QStringLiteral("⇧")},
        {QStringLiteral("Command"), QStringLiteral("⌘")},
    }};
    return names;
}

const QList<QPair<QString, QString>> &predicateLabels()
{
    static const QList<QPair<QString, QString>> labels{
        {ck::IsActive, QStringLiteral("is active")},
        {ck::IsNotActive, QStringLiteral("is not active")},
        {ck::IsRunning, QStringLiteral("is running")},
        {ck::IsNotRunning, QStringLiteral("is not running")},
    };
    return labels;
}

// A stored number that is a whole number: property lists give integers, reals or strings.
std::optional<qint64> wholeNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toLongLong();
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return value.toULongLong() <= quint64(std::numeric_limits<qint64>::max())
                   ? std::optional<qint64>(qint64(value.toULongLong()))
                   : std::nullopt;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (std::isfinite(number) && std::floor(number) == number && std::fabs(number) < 9.0e15)
            return qint64(number);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool isString(const QVariant &value)
{
    return value.typeId() == QMetaType::QString;
}

QStringList keyNames(const QVariantMap &settings)
{
    return settings.value(ck::Keys).toString().split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

} // namespace

KCConditionsManager::KCConditionsManager(KCLayerManager &layers, ApplicationsHelper &applications,
                                         LanguagesHelper &languages, QObject *parent)
    : QObject(parent)
    , m_layers(layers)
    , m_applications(applications)
    , m_languages(languages)
{
    // Rows are read from the item itself, so after an undo or redo the table only reloads.
    connect(m_layers.undoStack(), &QUndoStack::indexChanged, this, [this] {
        if (!m_item.isEmpty())
            showItem(m_item);
    });
    rebuildConditionsTable();
}

KCConditionsManager::~KCConditionsManager() = default;

KCConditionsManager::Kind KCConditionsManager::kindForType(const QString &type)
{
    for (const KindInfo &info : kinds()) {
        if (info.type == type)
            return info.kind;
    }
    return Kind::Unknown;
}

QString KCConditionsManager::typeForKind(Kind kind)
{
    for (const KindInfo &info : kinds()) {
        if (info.kind == kind)
            return info.type;
    }
    return {};
}

bool KCConditionsManager::isSingle(Kind kind)
{
    return kind == Kind::Modifier || kind == Kind::CapsLock || kind == Kind::Language || kind == Kind::Idle;
}

QStringList KCConditionsManager::modifierKeys()
{
    QStringList keys;
    for (const ModifierName &name : modifierNames())
        keys.append(name.name);
    return keys;
}

QString KCConditionsManager::modifierSymbol(const QString &key)
{
    for (const ModifierName &name : modifierNames()) {
        if (name.name == key)
            return name.symbol;
    }
    return {};
}

QString KCConditionsManager::settingsProblem(Kind kind, const QVariantMap &settings)
{
    switch (kind) {
    case Kind::Application: {
        if (!isString(settings.value(ck::Application)))
            return QStringLiteral("an application condition needs an application identifier");
        const QVariant predicate = settings.value(ck::Predicate);
        for (const auto &label : predicateLabels()) {
            if (isString(predicate) && predicate.toString() == label.first)
                return {};
        }
        return QStringLiteral("an application condition's predicate is isActive, isNotActive, isRunning "
                              "or isNotRunning");
    }
    case Kind::Modifier: {
        if (!isString(settings.value(ck::Keys)))
            return QStringLiteral("a modifier condition needs its keys as text");
        const QStringList allowed = modifierKeys() << ck::CapsLockKey;
        for (const QString &key : keyNames(settings)) {
            if (!allowed.contains(key))
                return QStringLiteral("%1 is not a modifier key (Control, Option, Shift, Command, CapsLock)")
                    .arg(key);
        }
        return {};
    }
    case Kind::CapsLock:
        return settings.value(ck::State).typeId() == QMetaType::Bool
                   ? QString()
                   : QStringLiteral("a Caps Lock condition's state is true or false");
    case Kind::Language:
        return wholeNumber(settings.value(ck::LanguageID))
                   ? QString()
                   : QStringLiteral("a language condition needs a language number");
    case Kind::Idle: {
        const auto seconds = wholeNumber(settings.value(ck::Time));
        return seconds && *seconds >= 1 && *seconds <= MaxIdleSeconds
                   ? QString()
                   : QStringLiteral("an idle condition's time is 1 to %1 seconds").arg(MaxIdleSeconds);
    }
    case Kind::Unknown:
        break;
    }
    return QStringLiteral("the condition's kind is unknown");
}

QString KCConditionsManager::applicationName(const QString &identifier) const
{
    return m_applications.applicationNameForIdentifier(identifier);
}

QString KCConditionsManager::languageName(int identifier) const
{
    return m_languages.languageNameForID(identifier);
}

KCConditionsManager::Row KCConditionsManager::describe(const QVariant &record) const
{
    Row row;
    const QVariantMap map = record.toMap();
    const QVariant type = map.value(ck::Type);
    const QVariant settings = map.value(ck::Settings);
    const bool typesFit = record.typeId() == QMetaType::QVariantMap && isString(type) &&
                          (!settings.isValid() || settings.typeId() == QMetaType::QVariantMap);
    row.type = isString(type) ? type.toString() : QString();
    row.settings = settings.toMap();
    row.kind = typesFit ? kindForType(row.type) : Kind::Unknown;
    if (row.kind != Kind::Unknown && !settingsProblem(row.kind, row.settings).isEmpty())
        row.kind = Kind::Unknown;

    switch (row.kind) {
    case Kind::Application: {
        const QString identifier = row.settings.value(ck::Application).toString();
        const QString name = applicationName(identifier);
        QString label;
        for (const auto &entry : predicateLabels()) {
            if (entry.first == row.settings.value(ck::Predicate).toString())
                label = entry.second;
        }
        row.text = (name.isEmpty() ? QStringLiteral("Unknown") : name) + QLatin1Char(' ') + label;
        row.icon = m_applications.applicationIconForIdentifier(identifier);
        break;
    }
    case Kind::Modifier: {
        const QStringList keys = keyNames(row.settings);
        QStringList symbols;
        QString single;
        for (const ModifierName &name : modifierNames()) {
            if (keys.contains(name.name)) {
                symbols.append(name.symbol);
                single = name.symbol + QLatin1Char(' ') + name.name;
            }
        }
        if (symbols.isEmpty())
            row.text = QStringLiteral("No modifiers are pressed");
        else if (symbols.size() == 1)
            row.text = single + QStringLiteral(" is pressed");
        else
            row.text = symbols.join(QLatin1Char(' ')) + QStringLiteral(" are pressed");
        break;
    }
    case Kind::CapsLock:
        row.text = QStringLiteral("⇪ CapsLock ") + (row.settings.value(ck::State).toBool()
                                                        ? QStringLiteral("is active")
                                                        : QStringLiteral("is not active"));
        break;
    case Kind::Language: {
        const int identifier = int(*wholeNumber(row.settings.value(ck::LanguageID)));
        const QString name = languageName(identifier);
        row.text = QStringLiteral("Language is ") + (name.isEmpty() ? QStringLiteral("Unknown") : name);
        row.icon = languageIcon(identifier);
        break;
    }
    case Kind::Idle: {
        const qint64 seconds = *wholeNumber(row.settings.value(ck::Time));
        row.text = seconds == 1 ? QStringLiteral("Idle for 1 second")
                                : QStringLiteral("Idle for %1 seconds").arg(seconds);
        break;
    }
    case Kind::Unknown:
        // Kept as stored and shown, so that the user sees it and can delete it.
        row.text = row.type.isEmpty() ? QStringLiteral("Unknown condition")
                                      : QStringLiteral("Unknown condition (%1)").arg(row.type.left(80));
        break;
    }
    return row;
}

void KCConditionsManager::rebuildConditionsTable()
{
    const QStringList selection = m_layers.selection();
    if (selection.size() == 1) {
        showItem(selection.first());
        return;
    }
    m_item.clear();
    m_allowEdit = false;
    m_message =
        selection.isEmpty() ? QStringLiteral("Nothing is selected") : QStringLiteral("Multiple selection");
    emit conditionsChanged();
}

void KCConditionsManager::showItem(const QString &identifier)
{
    const auto layer = m_layers.findLayerByID(identifier);
    m_item = layer ? identifier : QString();
    m_allowEdit = layer && !layer->staticLayer() && m_layers.relativePathForLayer(layer.get());
    if (!layer) {
        m_message = QStringLiteral("Nothing is selected");
    } else if (const auto language = std::dynamic_pointer_cast<KCLanguageLayer>(layer)) {
        m_message = QStringLiteral("(%1 language)")
                        .arg(language->languageID() == 0 ? QStringLiteral("English") : language->title());
    } else if (layer == m_layers.keyboardDefaultLayer() || layer->conditions().isEmpty()) {
        m_message = QStringLiteral("No conditions");
    } else {
        m_message.clear();
    }
    emit conditionsChanged();
}

QVariantList KCConditionsManager::currentConditions() const
{
    const auto layer = m_item.isEmpty() ? nullptr : m_layers.findLayerByID(m_item);
    return layer ? layer->conditions() : QVariantList();
}

QList<KCConditionsManager::Row> KCConditionsManager::rows() const
{
    QList<Row> result;
    for (const QVariant &record : currentConditions())
        result.append(describe(record));
    return result;
}

std::optional<KCConditionsManager::Row> KCConditionsManager::row(int index) const
{
    const QVariantList conditions = currentConditions();
    if (index < 0 || index >= conditions.size())
        return std::nullopt;
    return describe(conditions.at(index));
}

bool KCConditionsManager::canAddCondition(const QString &type) const
{
    const Kind kind = kindForType(type);
    if (!m_allowEdit || kind == Kind::Unknown)
        return false;
    if (!isSingle(kind))
        return true;
    for (const QVariant &record : currentConditions()) {
        if (record.toMap().value(ck::Type).toString() == type)
            return false;
    }
    return true;
}

QList<KCConditionsManager::MenuEntry> KCConditionsManager::conditionsMenu() const
{
    QList<MenuEntry> menu{
        {.role = MenuEntry::Role::Header, .title = QStringLiteral("New Condition With:"), .enabled = false}};
    for (const KindInfo &info : kinds())
        menu.append({.title = info.menuTitle,
                     .value = info.type,
                     .enabled = canAddCondition(info.type),
                     .indent = 1});
    return menu;
}

QList<KCConditionsManager::MenuEntry> KCConditionsManager::newItemMenu()
{
    QList<MenuEntry> menu{{.title = QStringLiteral("No Conditions"), .value = QString()},
                          {.role = MenuEntry::Role::Separator}};
    for (const KindInfo &info : kinds()) {
        if (!info.newItemTitle.isEmpty())
            menu.append({.title = info.newItemTitle, .value = info.type});
    }
    return menu;
}

QList<KCConditionsManager::MenuEntry> KCConditionsManager::predicatesMenu()
{
    QList<MenuEntry> menu;
    for (const auto &label : predicateLabels()) {
        if (label.first == ck::IsRunning)
            menu.append({.role = MenuEntry::Role::Separator});
        menu.append({.title = label.second, .value = label.first});
    }
    return menu;
}

KCConditionsManager::MenuEntry KCConditionsManager::applicationEntry(const QString &identifier) const
{
    // A running program without a desktop entry still goes by its window's identifier.
    const QString name = applicationName(identifier);
    return {.title = name.isEmpty() ? identifier : name,
            .value = identifier,
            .icon = m_applications.applicationIconForIdentifier(identifier),
            .indent = 1};
}

QList<KCConditionsManager::MenuEntry> KCConditionsManager::applicationsMenu() const
{
    QList<MenuEntry> menu{
        {.role = MenuEntry::Role::Header, .title = QStringLiteral("Active Applications:"), .enabled = false}};
    const QStringList running = m_applications.runningApplicationIdentifiers();
    for (const QString &identifier : running)
        menu.append(applicationEntry(identifier));
    menu.append({.role = MenuEntry::Role::Separator});
    menu.append({.role = MenuEntry::Role::Header,
                 .title = QStringLiteral("Installed Applications:"),
                 .enabled = false});
    for (const QString &identifier : m_applications.applicationIdentifiers()) {
        if (!running.contains(identifier))
            menu.append(applicationEntry(identifier));
    }
    menu.append({.role = MenuEntry::Role::Separator});
    menu.append({.role = MenuEntry::Role::Browse, .title = QStringLiteral("Browse Application...")});
    return menu;
}

QList<KCConditionsManager::MenuEntry> KCConditionsManager::languagesMenu() const
{
    QList<MenuEntry> menu;
    for (const int identifier : m_languages.availableLanguageIDs()) {
        const QString name = languageName(identifier);
        menu.append({.title = name.isEmpty() ? m_languages.layoutForID(identifier) : name,
                     .value = QString::number(identifier),
                     .icon = languageIcon(identifier)});
    }
    return menu;
}

QImage KCConditionsManager::languageIcon(int languageID) const
{
    const QString layout = m_languages.layoutForID(languageID);
    if (layout.isEmpty())
        return {};
    // "de(nodeadkeys)" is shown as "DE": the badge stands for the language, not the variant.
    const QString badge = layout.section(QLatin1Char('('), 0, 0).left(3).toUpper();
    QImage icon(16, 16, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3a, 0x5f, 0x9f));
    painter.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 2, 2);
    QFont font = painter.font();
    font.setPixelSize(badge.size() > 2 ? 6 : 8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 2, 16, 12), Qt::AlignCenter, badge);
    painter.end();
    return icon;
}

std::optional<QVariantMap> KCConditionsManager::newConditionSettings(const QString &type)
{
    switch (kindForType(type)) {
    case Kind::Application:
        return QVariantMap{{ck::Application, m_applications.defaultApplicationForType(FolderMimeType)},
                           {ck::Predicate, ck::IsActive}};
    case Kind::Modifier:
        return QVariantMap{{ck::Keys, QString()}};
    case Kind::CapsLock:
        return QVariantMap{{ck::State, true}};
    case Kind::Language:
        return QVariantMap{{ck::LanguageID, m_languages.currentLanguageID()}};
    case Kind::Idle:
        return QVariantMap{{ck::Time, DefaultIdleSeconds}};
    case Kind::Unknown:
        break;
    }
    return std::nullopt;
}

KCConditionsManager::Outcome KCConditionsManager::refuse(const QString &why)
{
    m_lastError = why;
    qCWarning(lcConditionEditor, "%s", qUtf8Printable(why));
    return Outcome::Refused;
}

KCConditionsManager::Outcome KCConditionsManager::edit(const QString &identifier,
                                                       const std::function<Outcome(QVariantList &)> &change)
{
    m_lastError.clear();
    const auto layer = m_layers.findLayerByID(identifier);
    if (!layer)
        return refuse(QStringLiteral("No layer or group is %1").arg(identifier));
    // The language layers' conditions are what switches the keyboard between languages.
    if (layer->staticLayer() || !m_layers.relativePathForLayer(layer.get()))
        return refuse(
            QStringLiteral("%1 is a background layer: its conditions are built in").arg(identifier));
    QVariantList conditions = layer->conditions();
    const Outcome checked = change(conditions);
    if (checked != Outcome::Done)
        return checked;
    const Outcome outcome = m_layers.setConditions(identifier, conditions);
    if (outcome != Outcome::Done)
        m_lastError = m_layers.lastError();
    if (identifier == m_item)
        showItem(m_item);
    return outcome;
}

KCConditionsManager::Outcome KCConditionsManager::addNewCondition(const QString &identifier,
                                                                  const QString &type,
                                                                  const std::optional<QVariantMap> &settings)
{
    return edit(identifier, [&](QVariantList &conditions) {
        if (type.isEmpty())
            return refuse(QStringLiteral("No condition kind was given: nothing is added"));
        const Kind kind = kindForType(type);
        if (kind == Kind::Unknown)
            return refuse(QStringLiteral("%1 is not a condition kind").arg(type.left(80)));
        if (isSingle(kind)) {
            for (const QVariant &record : std::as_const(conditions)) {
                if (record.toMap().value(ck::Type).toString() == type)
                    return refuse(QStringLiteral("%1 already has a condition of the kind %2: an item has "
                                                 "one at most")
                                      .arg(identifier, type));
            }
        }
        const QVariantMap values = settings ? *settings : *newConditionSettings(type);
        if (const QString problem = settingsProblem(kind, values); !problem.isEmpty())
            return refuse(problem);
        conditions.append(QVariantMap{{ck::Settings, values}, {ck::Type, type}});
        return Outcome::Done;
    });
}

KCConditionsManager::Outcome KCConditionsManager::changeCondition(const QString &identifier, int row,
                                                                  const QVariantMap &settings)
{
    return edit(identifier, [&](QVariantList &conditions) {
        if (row < 0 || row >= conditions.size())
            return refuse(QStringLiteral("Row %1 is out of range: %2 has %3 conditions")
                              .arg(row)
                              .arg(identifier)
                              .arg(conditions.size()));
        const Row current = describe(conditions.at(row));
        if (current.kind == Kind::Unknown)
            return refuse(QStringLiteral("Row %1 is an unknown condition: it can only be deleted").arg(row));
        if (const QString problem = settingsProblem(current.kind, settings); !problem.isEmpty())
            return refuse(problem);
        QVariantMap record = conditions.at(row).toMap();
        record.insert(ck::Settings, settings);
        conditions[row] = record;
        return Outcome::Done;
    });
}

KCConditionsManager::Outcome KCConditionsManager::deleteCondition(const QString &identifier, int row)
{
    return edit(identifier, [&](QVariantList &conditions) {
        if (row < 0 || row >= conditions.size())
            return refuse(QStringLiteral("Row %1 is out of range: %2 has %3 conditions")
                              .arg(row)
                              .arg(identifier)
                              .arg(conditions.size()));
        conditions.removeAt(row);
        return Outcome::Done;
    });
}

KCConditionsManager::Outcome KCConditionsManager::addNewCondition(const QString &type,
                                                                  const std::optional<QVariantMap> &settings)
{
    return addNewCondition(m_item, type, settings);
}

KCConditionsManager::Outcome KCConditionsManager::changeCondition(int row, const QVariantMap &settings)
{
    return changeCondition(m_item, row, settings);
}

KCConditionsManager::Outcome KCConditionsManager::deleteCondition(int row)
{
    return deleteCondition(m_item, row);
}

std::optional<QString> KCConditionsManager::createItemWithCondition(bool group, const QString &type)
{
    m_lastError.clear();
    QVariantList conditions;
    if (!type.isEmpty()) {
        const auto settings = newConditionSettings(type);
        if (!settings) {
            refuse(QStringLiteral("%1 is not a condition kind").arg(type.left(80)));
            return std::nullopt;
        }
        conditions.append(QVariantMap{{ck::Settings, *settings}, {ck::Type, type}});
    }
    const Outcome outcome = group ? m_layers.createNewGroup(QString(), conditions)
                                  : m_layers.createNewLayer(QString(), conditions);
    const auto item = m_layers.currentLayer();
    if (outcome != Outcome::Done || !item) {
        m_lastError = m_layers.lastError();
        return std::nullopt;
    }
    // The new item, whatever the selection says by the time the window gets round to it.
    const QString identifier = item->UUID();
    showItem(identifier);
    if (!type.isEmpty())
        emit flashTable();
    return identifier;
}

std::optional<QString> KCConditionsManager::chooseCustomApplication(const QString &path)
{
    const auto identifier = m_applications.addApplicationAtPath(path);
    if (identifier)
        m_lastCustomApplication = *identifier;
    return identifier;
}

QString KCConditionsManager::autonameForLayer(const KCLayer &layer) const
{
    const QVariantList conditions = layer.conditions();
    QString name;
    if (!conditions.isEmpty()) {
        const Row first = describe(conditions.first());
        switch (first.kind) {
        case Kind::Application:
            name = applicationName(first.settings.value(ck::Application).toString());
            break;
        case Kind::Language:
            name = languageName(int(*wholeNumber(first.settings.value(ck::LanguageID))));
            break;
        case Kind::Modifier: {
            QStringList keys = keyNames(first.settings);
            if (keys.size() >= 3) {
                static const QHash<QString, QString> shortNames{
                    {QStringLiteral("Command"), QStringLiteral("Cmd")},
                    {QStringLiteral("Option"), QStringLiteral("Opt")},
                    {QStringLiteral("Control"), QStringLiteral("Ctrl")},
                    {ck::CapsLockKey, QStringLiteral("Caps")},
                };
                for (QString &key : keys)
                    key = shortNames.value(key, key);
            }
            name = keys.isEmpty() ? QStringLiteral("No modifiers") : keys.join(QStringLiteral(", "));
            break;
        }
        case Kind::CapsLock:
            name = QStringLiteral("CapsLock");
            break;
        case Kind::Idle:
            name = QStringLiteral("Idle %1 s").arg(*wholeNumber(first.settings.value(ck::Time)));
            break;
        case Kind::Unknown:
            break;
        }
    }
    if (!name.isEmpty())
        return name;
    return layer.isGroup() ? QStringLiteral("Group") : QStringLiteral("Layer");
}

QImage KCConditionsManager::customizedIconForGroup(const KCLayer &layer) const
{
    const QVariantList conditions = layer.conditions();
    if (conditions.isEmpty())
        return {};
    const Row first = describe(conditions.first());
    return first.kind == Kind::Application || first.kind == Kind::Language ? first.icon : QImage();
}

} // namespace brevona
