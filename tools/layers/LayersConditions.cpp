#include "LayersConditions.h"

#include <QRegularExpression>
#include <QTextStream>

#include "ConditionKeys.h"
#include "KCConditionsManager.h"
#include "LanguageTable.h"
#include "LayersSubcommands.h"
#include "PropertyList.h"

namespace brevona {

namespace ck = conditionkeys;
using Kind = KCConditionsManager::Kind;

namespace {

const QList<QPair<QString, QString>> &kindNames()
{
    static const QList<QPair<QString, QString>> names{
        {QStringLiteral("application"), ck::ApplicationType},
        {QStringLiteral("modifier"), ck::ModifierType},
        {QStringLiteral("capslock"), ck::CapsLockType},
        {QStringLiteral("language"), ck::LanguageType},
        {QStringLiteral("idle"), ck::IdleType},
    };
    return names;
}

// "modifier" or the stored type itself; empty for anything else.
QString typeNamed(const QString &name)
{
    for (const auto &entry : kindNames()) {
        if (entry.first == name.toLower() || entry.second == name)
            return entry.second;
    }
    return {};
}

QString nameOfKind(Kind kind)
{
    const QString type = KCConditionsManager::typeForKind(kind);
    for (const auto &entry : kindNames()) {
        if (entry.second == type)
            return entry.first;
    }
    return QStringLiteral("unknown");
}

} // namespace

LayersConditions::LayersConditions(KCConditionsManager &conditions, QTextStream &out, QTextStream &err)
    : m_conditions(conditions)
    , m_out(out)
    , m_err(err)
{}

QString LayersConditions::summary()
{
    return QStringLiteral(
        "Lists (the default), adds, changes or removes the conditions that decide when ITEM is shown; "
        "rows count from 1. KIND and its VALUEs:\n"
        "  application [APP [isActive|isNotActive|isRunning|isNotRunning]]  (APP: a desktop entry "
        "id; default: the file manager, isActive)\n"
        "  modifier [KEY...]  (Control, Option, Shift, Command, CapsLock; none: no key held)\n"
        "  capslock [on|off]\n"
        "  language [NUMBER|LAYOUT]  (default: the layout in use)\n"
        "  idle [SECONDS]  (1 to 86400; default 60)\n"
        "set ROW takes the VALUEs of the row's kind. An item has at most one condition of each kind "
        "but application; background layers keep theirs.");
}

int LayersConditions::run(const QString &identifier, const QStringList &arguments, bool plist)
{
    m_item = identifier;
    m_conditions.showItem(identifier);
    const QString verb = arguments.value(0, QStringLiteral("list"));
    if (verb == QLatin1String("list") && arguments.size() <= 1)
        return list(plist);
    if (!m_conditions.allowEditConditions())
        return refuse(
            QStringLiteral("%1 is a background layer: its conditions are built in").arg(identifier));
    if (verb == QLatin1String("add") && arguments.size() >= 2)
        return add(arguments.mid(1));
    if (verb == QLatin1String("set") && arguments.size() >= 3)
        return set(arguments.mid(1));
    if (verb == QLatin1String("remove") && arguments.size() == 2)
        return remove(arguments.mid(1));
    return refuse(QStringLiteral("conditions takes list, add KIND [VALUE...], set ROW VALUE... or remove "
                                 "ROW (see brevona-layers conditions --help)"));
}

int LayersConditions::list(bool plist)
{
    const QList<KCConditionsManager::Row> rows = m_conditions.rows();
    if (plist) {
        QVariantList entries;
        for (qsizetype index = 0; index < rows.size(); ++index) {
            const auto &row = rows.at(index);
            entries.append(QVariantMap{{QStringLiteral("Row"), int(index + 1)},
                                       {QStringLiteral("Kind"), nameOfKind(row.kind)},
                                       {ck::Type, row.type},
                                       {ck::Settings, row.settings},
                                       {QStringLiteral("Text"), row.text}});
        }
        m_out << PropertyList::toData(entries).value_or(QByteArray());
        return LayersSubcommands::Done;
    }
    if (rows.isEmpty())
        m_out << m_conditions.message() << '\n';
    for (qsizetype index = 0; index < rows.size(); ++index)
        m_out << index + 1 << "  " << rows.at(index).text << '\n';
    return LayersSubcommands::Done;
}

std::optional<int> LayersConditions::parseRow(const QString &text)
{
    bool ok = false;
    const int row = text.toInt(&ok);
    const qsizetype count = m_conditions.currentConditions().size();
    if (!ok || row < 1 || row > count) {
        refuse(QStringLiteral("row %1 is out of range: %2 has %3 conditions").arg(text, m_item).arg(count));
        return std::nullopt;
    }
    return row - 1;
}

std::optional<QVariantMap> LayersConditions::parseValues(const QString &type, const QStringList &values,
                                                         const std::optional<QVariantMap> &base)
{
    QVariantMap settings = base ? *base : m_conditions.newConditionSettings(type).value_or(QVariantMap());
    const auto bad = [this](const QString &why) {
        refuse(why);
        return std::optional<QVariantMap>();
    };
    switch (KCConditionsManager::kindForType(type)) {
    case Kind::Application:
        if (values.size() > 2)
            return bad(QStringLiteral("an application condition takes APP and PREDICATE"));
        if (!values.isEmpty())
            settings.insert(ck::Application, values.at(0));
        if (values.size() == 2)
            settings.insert(ck::Predicate, values.at(1));
        break;
    case Kind::Modifier: {
        QStringList keys;
        for (const QString &value : values) {
            for (const QString &key :
                 value.split(QRegularExpression(QStringLiteral("[|,]")), Qt::SkipEmptyParts))
                if (key.toLower() != QLatin1String("none"))
                    keys.append(key);
        }
        if (!values.isEmpty() || !base)
            settings.insert(ck::Keys, keys.join(QLatin1Char('|')));
        break;
    }
    case Kind::CapsLock:
        if (values.size() > 1)
            return bad(QStringLiteral("a Caps Lock condition takes on or off"));
        if (!values.isEmpty()) {
            const QString state = values.at(0).toLower();
            if (state != QLatin1String("on") && state != QLatin1String("off") &&
                state != QLatin1String("true") && state != QLatin1String("false"))
                return bad(QStringLiteral("a Caps Lock condition takes on or off, not %1").arg(values.at(0)));
            settings.insert(ck::State, state == QLatin1String("on") || state == QLatin1String("true"));
        }
        break;
    case Kind::Language:
        if (values.size() > 1)
            return bad(QStringLiteral("a language condition takes one language"));
        if (!values.isEmpty()) {
            bool number = false;
            const int identifier = values.at(0).toInt(&number);
            settings.insert(ck::LanguageID,
                            number ? identifier : LanguageTable::identifierForLayout(values.at(0)));
        }
        break;
    case Kind::Idle:
        if (values.size() > 1)
            return bad(QStringLiteral("an idle condition takes its time in seconds"));
        if (!values.isEmpty()) {
            bool number = false;
            const int seconds = values.at(0).toInt(&number);
            if (!number)
                return bad(QStringLiteral("an idle condition's time is a number of seconds, not %1")
                               .arg(values.at(0)));
            settings.insert(ck::Time, seconds);
        }
        break;
    case Kind::Unknown:
        return bad(QStringLiteral("unknown conditions can only be removed"));
    }
    return settings;
}

int LayersConditions::add(const QStringList &arguments)
{
    const QString type = typeNamed(arguments.at(0));
    if (type.isEmpty())
        return refuse(
            QStringLiteral("%1 is not a condition kind (application, modifier, capslock, language, idle)")
                .arg(arguments.at(0)));
    // A second condition of a single kind is refused before the values are read.
    if (!m_conditions.canAddCondition(type))
        return finish(static_cast<int>(m_conditions.addNewCondition(m_item, type, QVariantMap())));
    const auto settings = parseValues(type, arguments.mid(1), std::nullopt);
    if (!settings)
        return LayersSubcommands::BadInput;
    return finish(static_cast<int>(m_conditions.addNewCondition(m_item, type, *settings)));
}

int LayersConditions::set(const QStringList &arguments)
{
    const auto row = parseRow(arguments.at(0));
    if (!row)
        return LayersSubcommands::BadInput;
    const auto current = m_conditions.row(*row);
    const auto settings = parseValues(current->type, arguments.mid(1), current->settings);
    if (!settings)
        return LayersSubcommands::BadInput;
    return finish(static_cast<int>(m_conditions.changeCondition(m_item, *row, *settings)));
}

int LayersConditions::remove(const QStringList &arguments)
{
    const auto row = parseRow(arguments.at(0));
    if (!row)
        return LayersSubcommands::BadInput;
    return finish(static_cast<int>(m_conditions.deleteCondition(m_item, *row)));
}

int LayersConditions::finish(int outcome)
{
    switch (static_cast<KCConditionsManager::Outcome>(outcome)) {
    case KCConditionsManager::Outcome::Done:
        return LayersSubcommands::Done;
    case KCConditionsManager::Outcome::Failed:
        m_err << "brevona-layers: " << m_conditions.lastError() << '\n';
        return LayersSubcommands::Failed;
    case KCConditionsManager::Outcome::Refused:
    case KCConditionsManager::Outcome::Cancelled:
        break;
    }
    return refuse(m_conditions.lastError());
}

int LayersConditions::refuse(const QString &why)
{
    m_err << "brevona-layers: " << why << '\n';
    return LayersSubcommands::BadInput;
}

} // namespace brevona
