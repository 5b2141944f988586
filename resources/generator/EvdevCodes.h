#pragma once

#include <optional>

#include <QHash>
#include <QString>

namespace brevona {

// The KEY_ names of the kernel's input-event-codes header with their numbers, so that the
// keyboard table can name evdev codes instead of repeating numbers that could drift from the
// kernel's.
class EvdevCodes
{
public:
    static EvdevCodes parse(const QString &headerText);
    static std::optional<EvdevCodes> readFile(const QString &path);

    std::optional<int> code(const QString &name) const;
    int size() const { return static_cast<int>(m_codes.size()); }

private:
    QHash<QString, int> m_codes;
};

} // namespace brevona
