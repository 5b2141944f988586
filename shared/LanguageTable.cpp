#include "LanguageTable.h"

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

namespace brevona {

namespace {

// Layouts whose numbers follow the classic keyboard-layout numbering, so that stores which already
// carry these numbers keep their meaning. Names are XKB layout names.
constexpr std::array<std::pair<const char *, int>, 22> kKnownLayouts{{
    {"us", 0},  {"fr", 1},      {"gb", 2},  {"de", 3},  {"it", 4},  {"nl", 5},  {"be", 6},  {"se", 7},
    {"es", 8},  {"dk", 9},      {"pt", 10}, {"ca", 11}, {"no", 12}, {"il", 13}, {"jp", 14}, {"ara", 16},
    {"fi", 17}, {"ch(fr)", 18}, {"ch", 19}, {"gr", 20}, {"is", 21}, {"tr", 24},
}};

// FNV-1a over the UTF-8 bytes: small, fixed forever, and independent of Qt's per-process hash seed.
std::uint32_t stableHash(const QByteArray &bytes)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

} // namespace

int LanguageTable::identifierForLayout(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return 0;
    for (const auto &[layout, identifier] : kKnownLayouts) {
        if (trimmed == QLatin1String(layout))
            return identifier;
    }
    constexpr std::uint32_t range = std::numeric_limits<std::int32_t>::max() - FirstDerivedIdentifier;
    return FirstDerivedIdentifier + static_cast<int>(stableHash(trimmed.toUtf8()) % range);
}

std::optional<QString> LanguageTable::knownLayoutForIdentifier(int identifier)
{
    for (const auto &[layout, number] : kKnownLayouts) {
        if (number == identifier)
            return QString::fromLatin1(layout);
    }
    return std::nullopt;
}

} // namespace brevona
