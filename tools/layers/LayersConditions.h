#pragma once

#include <optional>

#include <QStringList>
#include <QVariantMap>

class QTextStream;

namespace brevona {

class KCConditionsManager;

// brevona-layers' "conditions": lists, adds, changes and removes the conditions of one item
// through the condition editor the window uses, so the same rules hold (one modifier, Caps Lock,
// language and idle condition per item at most, background layers untouched) and the driver hears
// the same one command per edit. Rows are counted from 1, as "list" shows them.
class LayersConditions
{
public:
    LayersConditions(KCConditionsManager &conditions, QTextStream &out, QTextStream &err);

    static QString summary();

    // `identifier` names an item; `arguments` follow it on the command line. An exit status of
    // LayersSubcommands.
    int run(const QString &identifier, const QStringList &arguments, bool plist);

private:
    int list(bool plist);
    int add(const QStringList &arguments);
    int set(const QStringList &arguments);
    int remove(const QStringList &arguments);
    // Settings of a kind from the command line's values; `base` gives what is not named (nothing
    // given: the defaults of a new condition). Nothing, with the line on standard error, when the
    // values do not fit.
    std::optional<QVariantMap> parseValues(const QString &type, const QStringList &values,
                                           const std::optional<QVariantMap> &base);
    std::optional<int> parseRow(const QString &text);
    int finish(int outcome);
    int refuse(const QString &why);

    KCConditionsManager &m_conditions;
    QTextStream &m_out;
    QTextStream &m_err;
    QString m_item;
};

} // namespace brevona
