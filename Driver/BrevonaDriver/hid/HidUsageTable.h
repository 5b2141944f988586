#pragma once

#include <optional>
#include <utility>

#include <QHash>
#include <QString>
#include <QVariantMap>

namespace brevona {

// The usage table resource "LumivoxUsageTable": HID usage -> key name, one part for the keyboard
// page ("Standard") and one for the consumer page ("Multimedia"). The file writes the usages as
// decimal text; they are held as numbers.
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

    // The usage page and usage a name stands for: its keyboard-page usage when it has one, else
    // its consumer-page usage; the lowest usage when a part names it twice.
    std::optional<std::pair<int, int>> usageForName(const QString &name) const;

private:
    QHash<int, QString> m_standard;
    QHash<int, QString> m_multimedia;
};

} // namespace brevona
