#include "HidUsageTable.h"

#include <algorithm>

#include <QDir>

#include "Logging.h"
#include "Paths.h"
#include "PropertyList.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

// Clears `wellFormed` when the part is no dictionary or an entry is left out.
QHash<int, QString> withNumericKeys(const QVariant &part, bool &wellFormed)
{
    QHash<int, QString> names;
    if (part.typeId() != QMetaType::QVariantMap)
        wellFormed = false;
    const QVariantMap map = part.toMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        bool ok = false;
        const int usage = it.key().toInt(&ok, 10);
        if (!ok || usage < 0 || it.value().typeId() != QMetaType::QString ||
            it.value().toString().isEmpty()) {
            wellFormed = false;
            continue;
        }
        names.insert(usage, it.value().toString());
    }
    return names;
}

std::vector<int> usagesNamed(const QHash<int, QString> &part, const QString &name)
{
    std::vector<int> usages;
    for (auto it = part.constBegin(); it != part.constEnd(); ++it) {
        if (it.value() == name)
            usages.push_back(it.key());
    }
    std::sort(usages.begin(), usages.end());
    return usages;
}

} // namespace

HidUsageTable HidUsageTable::fromDictionary(const QVariantMap &table)
{
    HidUsageTable usages;
    usages.m_standard = withNumericKeys(table.value(QStringLiteral("Standard")), usages.m_wellFormed);
    usages.m_multimedia = withNumericKeys(table.value(QStringLiteral("Multimedia")), usages.m_wellFormed);
    return usages;
}

std::optional<HidUsageTable> HidUsageTable::load(const QString &path)
{
    const auto table = PropertyList::readDictionary(path);
    if (!table) {
        qCWarning(lcShared).noquote() << "Can't read the usage table" << path;
        return std::nullopt;
    }
    return fromDictionary(*table);
}

QString HidUsageTable::resourcePath()
{
    return QDir(Paths::resourceFolder()).filePath(resourcefiles::UsageTable);
}

QString HidUsageTable::nameForUsage(int page, int usage) const
{
    if (page == kKeyboardPage)
        return m_standard.value(usage);
    if (page == kConsumerPage)
        return m_multimedia.value(usage);
    return QString();
}

std::vector<std::pair<int, int>> HidUsageTable::usagesForName(const QString &name) const
{
    std::vector<std::pair<int, int>> found;
    for (const int usage : usagesNamed(m_standard, name))
        found.emplace_back(kKeyboardPage, usage);
    for (const int usage : usagesNamed(m_multimedia, name))
        found.emplace_back(kConsumerPage, usage);
    return found;
}

std::optional<std::pair<int, int>> HidUsageTable::usageForName(const QString &name) const
{
    const auto usages = usagesForName(name);
    if (usages.empty())
        return std::nullopt;
    return usages.front();
}

} // namespace brevona
