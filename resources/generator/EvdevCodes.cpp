#include "EvdevCodes.h"

#include <QFile>
#include <QRegularExpression>

namespace brevona {

EvdevCodes EvdevCodes::parse(const QString &headerText)
{
    EvdevCodes codes;
    // "#define KEY_A 30" and "#define KEY_MIN_INTERESTING KEY_MUTE": numbers first, then the
    // aliases that name another key.
    static const QRegularExpression define(QStringLiteral(R"(^#define\s+(KEY_\w+)\s+(\w+))"),
                                           QRegularExpression::MultilineOption);
    QHash<QString, QString> aliases;
    for (auto it = define.globalMatch(headerText); it.hasNext();) {
        const auto match = it.next();
        bool ok = false;
        const int value = match.captured(2).toInt(&ok, 0);
        if (ok)
            codes.m_codes.insert(match.captured(1), value);
        else
            aliases.insert(match.captured(1), match.captured(2));
    }
    for (auto it = aliases.cbegin(); it != aliases.cend(); ++it) {
        // The value is copied out first: the insertion may grow the table under the iterator.
        if (const auto target = codes.m_codes.constFind(it.value()); target != codes.m_codes.cend()) {
            const int value = target.value();
            codes.m_codes.insert(it.key(), value);
        }
    }
    return codes;
}

std::optional<EvdevCodes> EvdevCodes::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(QString::fromUtf8(file.readAll()));
}

std::optional<int> EvdevCodes::code(const QString &name) const
{
    const auto it = m_codes.constFind(name);
    if (it == m_codes.cend())
        return std::nullopt;
    return it.value();
}

} // namespace brevona
