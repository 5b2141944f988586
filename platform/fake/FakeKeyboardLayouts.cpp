#include "FakeKeyboardLayouts.h"

namespace brevona {

namespace {

QString textKey(const QString &layout, int keyCode, unsigned modifiers)
{
    return QStringLiteral("%1/%2/%3").arg(layout).arg(keyCode).arg(modifiers);
}

} // namespace

std::optional<QString> FakeKeyboardLayouts::displayName(const QString &layout)
{
    const auto it = m_names.constFind(layout);
    if (it == m_names.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<QString> FakeKeyboardLayouts::characters(const QString &layout, int keyCode, unsigned modifiers)
{
    ++m_translations;
    if (!m_names.contains(layout))
        return std::nullopt;
    return m_texts.value(textKey(layout, keyCode, modifiers));
}

void FakeKeyboardLayouts::addLayout(const QString &layout, const QString &displayName)
{
    m_names.insert(layout, displayName);
}

void FakeKeyboardLayouts::setCharacters(const QString &layout, int keyCode, unsigned modifiers,
                                        const QString &text)
{
    m_texts.insert(textKey(layout, keyCode, modifiers), text);
}

} // namespace brevona
