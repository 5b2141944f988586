#include "LanguageKeyTranslator.h"

#include "KeyboardLayouts.h"
#include "LanguagesHelper.h"

namespace brevona {

LanguageKeyTranslator::LanguageKeyTranslator(KeyboardLayouts &layouts, QHash<QString, int> keyCodes)
    : m_layouts(layouts)
    , m_keyCodes(keyCodes.isEmpty() ? LanguagesHelper::keyCodesTable() : std::move(keyCodes))
{}

QString LanguageKeyTranslator::characters(const QString &layoutName, const QString &keyName,
                                          unsigned modifierMask) const
{
    const int keyCode = m_keyCodes.value(keyName, 0);
    if (keyCode == 0)
        return {};
    unsigned modifiers = 0;
    if (modifierMask & kShift)
        modifiers |= KeyboardLayouts::Shift;
    if (modifierMask & kCapsLock)
        modifiers |= KeyboardLayouts::CapsLock;
    if (modifierMask & kOption)
        modifiers |= KeyboardLayouts::ThirdLevel;
    return m_layouts.characters(layoutName, keyCode, modifiers).value_or(QString());
}

} // namespace brevona
