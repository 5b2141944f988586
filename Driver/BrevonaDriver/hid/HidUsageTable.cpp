#include "HidUsageTable.h"

#include <QDir>

#include "HidLogging.h"
#include "Paths.h"
#include "PropertyList.h"

namespace brevona {

namespace {

QHash<int, QString> withNumericKeys(const QVariant &part)
{
    QHash<int, QString> names;
    const QVariantMap map = part.toMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        bool ok = false;
        const int usage = it.key().toInt(&ok, 10);
        if (!ok || usage < 0 || it.value().typeId() != QMetaType::QString || it.value().toString().isEmpty())
            continue;
        names.insert(usage, it.value().toString());
    }
    return names;
}

std::optional<int> lowestUsageNamed(const QHash<int, QString> &part, const QString &name)
{
    std::optional<int> lowest;
    for (auto it = part.constBegin(); it != part.constEnd(); ++it) {
        if (it.value() == name && (!lowest || it.key() < *lowest))
            lowest = it.key();
    }
    return lowest;
}

} // namespace

HidUsageTable HidUsageTable::fromDictionary(const QVariantMap &table)
{
    HidUsageTable usages;
    usages.m_standard = withNumericKeys(table.value(QStringLiteral("Standard")));
    usages.m_multimedia = withNumericKeys(table.value(QStringLiteral("Multimedia")));
    return usages;
}

std::optional<HidUsageTable> HidUsageTable::load(const QString &path)
{
    const auto table = PropertyList::readDictionary(path);
    if (!table) {
        qCWarning(lcHid).noquote() << "Can't read the usage table" << path;
        return std::nullopt;
    }
    return fromDictionary(*table);
}

QString HidUsageTable::resourcePath()
{
    return QDir(Paths::resourceFolder()).filePath(QStringLiteral("LumivoxUsageTable.plist"));
}

std::optional<std::pair<int, int>> HidUsageTable::usageForName(const QString &name) const
{
    if (const auto usage = lowestUsageNamed(m_standard, name))
        return std::make_pair(kKeyboardPage, *usage);
    if (const auto usage = lowestUsageNamed(m_multimedia, name))
        return std::make_pair(kConsumerPage, *usage);
    return std::nullopt;
}

} // namespace brevona
