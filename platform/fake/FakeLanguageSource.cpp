#include "FakeLanguageSource.h"

namespace brevona {

FakeLanguageSource::FakeLanguageSource(bool notifiesChanges, QObject *parent)
    : InputLanguageSource(parent)
    , m_notifies(notifiesChanges)
{}

void FakeLanguageSource::setLayouts(std::optional<QStringList> layouts, std::optional<int> index)
{
    m_layouts = std::move(layouts);
    m_index = index;
    if (m_notifies)
        Q_EMIT languageChanged();
}

void FakeLanguageSource::selectIndex(std::optional<int> index)
{
    m_index = index;
    if (m_notifies)
        Q_EMIT languageChanged();
}

} // namespace brevona
