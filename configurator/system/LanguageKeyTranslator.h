#pragma once

#include <QHash>

#include "KeyTranslator.h"

namespace brevona {

class KeyboardLayouts;

// The language layers' key translation on the system's keyboard layouts: the key name becomes its
// X11 key code through the keyboard's key-code table, the modifier bits Shift, Caps Lock and
// Option become the layout's Shift, Caps Lock and third level; Command and Control change nothing.
// Safe to use from several threads at once.
class LanguageKeyTranslator : public KeyTranslator
{
public:
    // `keyCodes` empty: the keyboard's table (LanguagesHelper::keyCodesTable).
    explicit LanguageKeyTranslator(KeyboardLayouts &layouts, QHash<QString, int> keyCodes = {});

    QString characters(const QString &layoutName, const QString &keyName,
                       unsigned modifierMask) const override;

private:
    KeyboardLayouts &m_layouts;
    const QHash<QString, int> m_keyCodes;
};

} // namespace brevona
