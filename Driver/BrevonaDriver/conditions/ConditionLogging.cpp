#include "ConditionLogging.h"

#include <QStringList>

Q_LOGGING_CATEGORY(lcConditions, "brevona.driver.conditions")

namespace brevona {

namespace {

// Records come from files and commands; a pathological nesting stops here.
constexpr int kMaxDepth = 16;

QString describe(const QVariant &value, int depth)
{
    if (depth > kMaxDepth)
        return QStringLiteral("...");
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QString text = QStringLiteral("{");
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            text += it.key() + QStringLiteral(" = ") + describe(it.value(), depth + 1) + QStringLiteral("; ");
        return text + QLatin1Char('}');
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant &entry : value.toList())
            parts.append(describe(entry, depth + 1));
        return QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    case QMetaType::QString:
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.isValid() ? value.toString() : QStringLiteral("(null)");
    }
}

} // namespace

QString describePlist(const QVariant &value)
{
    return describe(value, 0);
}

} // namespace brevona
