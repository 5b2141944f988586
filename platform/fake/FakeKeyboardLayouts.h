#pragma once

#include <QHash>
#include <QString>

#include "KeyboardLayouts.h"

namespace brevona {

// Stands for the system's keyboard layouts in tests: a layout exists once it has a name, and its
// keys type what was set for them (nothing otherwise). Counts the translations asked for.
class FakeKeyboardLayouts : public KeyboardLayouts
{
public:
    std::optional<QString> displayName(const QString &layout) override;
    std::optional<QString> characters(const QString &layout, int keyCode, unsigned modifiers) override;

    void addLayout(const QString &layout, const QString &displayName);
    void setCharacters(const QString &layout, int keyCode, unsigned modifiers, const QString &text);
    int translations() const { return m_translations; }

private:
    QHash<QString, QString> m_names;
    QHash<QString, QString> m_texts; // "layout/keyCode/modifiers" -> text
    int m_translations = 0;
};

} // namespace brevona
