#pragma once

#include "ApplicationMonitor.h"

namespace brevona {

// A session that tells nothing about its applications: the conditions on them never hold.
class UnavailableApplicationMonitor : public ApplicationMonitor
{
    Q_OBJECT
public:
    using ApplicationMonitor::ApplicationMonitor;

    std::optional<QSet<QString>> runningApplications() override { return std::nullopt; }
    QString foregroundApplication() override { return {}; }
    bool notifiesForegroundChanges() const override { return true; }
    void startWatching() override {}
};

} // namespace brevona
