#pragma once

#include <memory>
#include <vector>

#include <QStringList>
#include <QVariantMap>

#include "KCPluginHost.h"
#include "KCPluginProtocol.h"

namespace brevona::test {

// What the probe plugins of one host saw.
struct ProbeRecord
{
    int created = 0;
    int destroyed = 0;
    int activated = 0;
    int deactivated = 0;
    QVariantMap values; // setting -> last value set, over all instances
};

// A plugin host whose catalogue is a list of signatures. Its plugins accept every setting but
// "reject", throw on "explode", and run (activate) unless their signature ends in ".passive".
class ProbePluginHost final : public KCPluginHost
{
public:
    explicit ProbePluginHost(QStringList signatures);
    ~ProbePluginHost() override;

    std::unique_ptr<KCPluginProtocol> createInstance(const QString &signature,
                                                     KCPluginButtonProtocol *button) override;
    const std::shared_ptr<ProbeRecord> &record() const { return m_record; }

private:
    QStringList m_signatures;
    std::shared_ptr<ProbeRecord> m_record = std::make_shared<ProbeRecord>();
};

} // namespace brevona::test
