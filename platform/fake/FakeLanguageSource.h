#pragma once

#include "InputLanguageSource.h"

namespace brevona {

// Stands for the session's keyboard layouts in tests. Nothing set means the session cannot tell.
class FakeLanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    explicit FakeLanguageSource(bool notifiesChanges = true, QObject *parent = nullptr);

    std::optional<QStringList> layouts() override { return m_layouts; }
    std::optional<int> currentIndex() override { return m_index; }
    bool notifiesChanges() const override { return m_notifies; }
    void startWatching() override {}

    // Changes what the session reports, announcing it when the source notifies changes.
    void setLayouts(std::optional<QStringList> layouts, std::optional<int> index);
    void selectIndex(std::optional<int> index);

private:
    std::optional<QStringList> m_layouts;
    std::optional<int> m_index;
    bool m_notifies;
};

} // namespace brevona
