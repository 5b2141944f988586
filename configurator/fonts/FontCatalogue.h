#pragma once

#include <optional>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace brevona {

// The font families the editors offer and the members (styles) of each, as the platform's font
// services report them. Kept apart from the font database so that the choice of a member for a
// family, bold and italic can be decided (and tested) without the fonts installed here.
class FontCatalogue
{
public:
    struct Member
    {
        QString style;
        int weight = 400; // QFont::Weight
        bool italic = false;
        // Condensed, narrow or expanded members are chosen only when the family has no other.
        bool regularWidth = true;
        bool operator==(const Member &) const = default;
    };

    FontCatalogue() = default;
    explicit FontCatalogue(QMap<QString, QList<Member>> families);
    // Every installed family with its styles.
    static FontCatalogue installed();

    // The families that have a plain member (regular weight, upright), sorted.
    QStringList plainFamilies() const;
    bool hasFamily(const QString &family) const { return m_families.contains(family); }
    bool hasBold(const QString &family) const;
    bool hasItalic(const QString &family) const;
    static bool isBold(int weight);

    // The member drawn for the request: the exact traits, then bold alone (when asked), then
    // plain, then the family's first member. Nothing for an unknown family.
    std::optional<Member> resolve(const QString &family, bool bold, bool italic) const;

private:
    std::optional<Member> find(const QString &family, bool bold, bool italic) const;

    QMap<QString, QList<Member>> m_families;
};

} // namespace brevona
