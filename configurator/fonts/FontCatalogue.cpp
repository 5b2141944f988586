#include "FontCatalogue.h"

#include <algorithm>

#include <QFont>
#include <QFontDatabase>
#include <QRegularExpression>

namespace brevona {

FontCatalogue::FontCatalogue(QMap<QString, QList<Member>> families)
    : m_families(std::move(families))
{}

FontCatalogue FontCatalogue::installed()
{
    QMap<QString, QList<Member>> families;
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family))
            continue;
        QList<Member> members;
        for (const QString &style : QFontDatabase::styles(family)) {
            // The database calls oblique members upright; the font it makes for them knows better.
            const bool slanted = QFontDatabase::italic(family, style) ||
                                 QFontDatabase::font(family, style, 12).style() != QFont::StyleNormal;
            static const QRegularExpression widths(
                QStringLiteral("condensed|narrow|compressed|expanded|extended|wide"),
                QRegularExpression::CaseInsensitiveOption);
            members.append(
                {style, QFontDatabase::weight(family, style), slanted, !widths.match(style).hasMatch()});
        }
        families.insert(family, members);
    }
    return FontCatalogue(std::move(families));
}

bool FontCatalogue::isBold(int weight)
{
    // Semi-bold members count: a family whose heaviest member is semi-bold offers it as its bold.
    return weight >= QFont::DemiBold;
}

QStringList FontCatalogue::plainFamilies() const
{
    QStringList plain;
    for (auto it = m_families.cbegin(); it != m_families.cend(); ++it) {
        if (!it.key().isEmpty() && find(it.key(), false, false))
            plain.append(it.key());
    }
    plain.sort(Qt::CaseInsensitive);
    return plain;
}

bool FontCatalogue::hasBold(const QString &family) const
{
    const QList<Member> members = m_families.value(family);
    return std::any_of(members.cbegin(), members.cend(), [](const Member &m) { return isBold(m.weight); });
}

bool FontCatalogue::hasItalic(const QString &family) const
{
    const QList<Member> members = m_families.value(family);
    return std::any_of(members.cbegin(), members.cend(), [](const Member &m) { return m.italic; });
}

std::optional<FontCatalogue::Member> FontCatalogue::find(const QString &family, bool bold, bool italic) const
{
    const QList<Member> members = m_families.value(family);
    // Plain means the regular weight exactly; a light or medium member is not the family's plain one.
    const auto matches = [&](const Member &m) {
        return m.italic == italic && (bold ? isBold(m.weight) : m.weight == QFont::Normal);
    };
    std::optional<Member> narrower;
    for (const Member &member : members) {
        if (!matches(member))
            continue;
        if (member.regularWidth)
            return member;
        if (!narrower)
            narrower = member;
    }
    return narrower;
}

std::optional<FontCatalogue::Member> FontCatalogue::resolve(const QString &family, bool bold,
                                                            bool italic) const
{
    if (const auto exact = find(family, bold, italic))
        return exact;
    if (bold) {
        if (const auto boldOnly = find(family, true, false))
            return boldOnly;
    }
    if (const auto plain = find(family, false, false))
        return plain;
    const QList<Member> members = m_families.value(family);
    if (members.isEmpty())
        return std::nullopt;
    return members.first();
}

} // namespace brevona
