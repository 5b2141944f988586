#pragma once

#include "InputLanguageSource.h"

namespace brevona {

// A session that tells nothing about its keyboard layouts.
class UnavailableLanguageSource : public InputLanguageSource
{
    Q_OBJECT
public:
    using InputLanguageSource::InputLanguageSource;

    std::optional<QStringList> layouts() override { return std::nullopt; }
    std::optional<int> currentIndex() override { return std::nullopt; }
    bool notifiesChanges() const override { return true; }
    void startWatching() override {}
};

} // namespace brevona
