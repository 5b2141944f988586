#include "ProbePluginHost.h"

#include <stdexcept>

namespace brevona::test {

namespace {

class ProbePlugin final : public KCPluginProtocol
{
public:
    ProbePlugin(std::shared_ptr<ProbeRecord> record, bool runs)
        : m_record(std::move(record))
        , m_runs(runs)
    {
        ++m_record->created;
    }
    ~ProbePlugin() override { ++m_record->destroyed; }

    unsigned operations() const override { return SetValueForKey | (m_runs ? Activate : 0u); }
    void setValue(const QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("explode"))
            throw std::runtime_error("probe refuses to explode");
        if (key == QLatin1String("reject"))
            throw std::invalid_argument("probe rejects the value");
        m_record->values.insert(key, value);
    }
    void activate() override { ++m_record->activated; }
    void deactivate() override { ++m_record->deactivated; }

private:
    std::shared_ptr<ProbeRecord> m_record;
    bool m_runs;
};

} // namespace

ProbePluginHost::ProbePluginHost(QStringList signatures)
    : m_signatures(std::move(signatures))
{
    KCPluginHost::setInstance(this);
}

ProbePluginHost::~ProbePluginHost()
{
    KCPluginHost::setInstance(nullptr);
}

std::unique_ptr<KCPluginProtocol> ProbePluginHost::createInstance(const QString &signature,
                                                                  KCPluginButtonProtocol *)
{
    if (!m_signatures.contains(signature))
        return nullptr;
    return std::make_unique<ProbePlugin>(m_record, !signature.endsWith(QLatin1String(".passive")));
}

} // namespace brevona::test
