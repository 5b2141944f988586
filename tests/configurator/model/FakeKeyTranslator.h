#pragma once

#include <QHash>

#include "KeyTranslator.h"

namespace brevona::test {

// A layout as a table: (layout, key, modifiers) -> text; anything else types nothing.
class FakeKeyTranslator final : public KeyTranslator
{
public:
    void add(const QString &layout, const QString &key, unsigned modifiers, const QString &text)
    {
        m_table.insert(entry(layout, key, modifiers), text);
    }
    QString characters(const QString &layout, const QString &key, unsigned modifiers) const override
    {
        return m_table.value(entry(layout, key, modifiers));
    }

private:
    static QString entry(const QString &layout, const QString &key, unsigned modifiers)
    {
        return layout + QLatin1Char('/') + key + QLatin1Char('/') + QString::number(modifiers);
    }

    QHash<QString, QString> m_table;
};

} // namespace brevona::test
