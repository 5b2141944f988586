#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QHash>
#include <QString>
#include <QVariantMap>

namespace brevona {

// The usage table resource "LumivoxUsageTable": HID usage -> key name, one part for the keyboard
// page ("Standard") and one for the consumer page ("Multimedia"). The file writes the usages as
// decimal text; they are held as numbers. The driver's HID input and the keyboard data set both
// read the table through this class, so they agree on every entry.
class HidUsageTable
{
public:
    static constexpr int kKeyboardPage = 7;
    static constexpr int kConsumerPage = 12;

    HidUsageTable() = default;
    // Keys that are not decimal numbers, and values that are not names, are left out.
    static HidUsageTable fromDictionary(const QVariantMap &table);
    // Nothing (with one log line) when the file is missing or not a dictionary.
    static std::optional<HidUsageTable> load(const QString &path);
    // "LumivoxUsageTable.plist" of the program's resource folder.
    static QString resourcePath();

    const QHash<int, QString> &standard() const { return m_standard; }
    const QHash<int, QString> &multimedia() const { return m_multimedia; }
    bool isEmpty() const { return m_standard.isEmpty() && m_multimedia.isEmpty(); }
    // Both parts were dictionaries and no entry was left out.
    bool isWellFormed() const { return m_wellFormed; }

    // The name of a usage; empty when the table has none for it.
    QString nameForUsage(int page, int usage) const;
    // Every usage the table names `name` under, keyboard page first, each page in ascending order.
    std::vector<std::pair<int, int>> usagesForName(const QString &name) const;
    // The usage page and usage a name stands for: its keyboard-page usage when it has one, else
    // its consumer-page usage; the lowest usage when a part names it twice.
    std::optional<std::pair<int, int>> usageForName(const QString &name) const;

private:
    QHash<int, QString> m_standard;
    QHash<int, QString> m_multimedia;
    bool m_wellFormed = true;
};

} // namespace brevona
