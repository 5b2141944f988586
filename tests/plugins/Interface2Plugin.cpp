// A bundle built for plugin interface 2, which the host still loads. Its operations() claims every
// operation, as an old plugin's could (interface 2 gave the later bits no meaning): the host must
// still never call the operations interface 3 added, which an object built for interface 2 lacks.
#include <cstdlib>

#include <QPainter>

#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {
class Older : public KCPluginProtocol
{
public:
    explicit Older(KCPluginButtonProtocol *button)
        : m_button(button)
    {}
    unsigned operations() const override { return ~0u; }
    void activate() override
    {
        m_button->getImage()->paint([](QPainter &painter) { painter.fillRect(0, 0, 48, 48, Qt::blue); });
        m_button->update();
    }
    // Where an interface-2 object has no slot at all.
    QVariant valueForKey(const QString &) const override { std::abort(); }
    bool validateValue(QVariant &, const QString &) override { std::abort(); }

private:
    KCPluginButtonProtocol *m_button;
};
KCPluginProtocol *createOlder(KCPluginButtonProtocol *button)
{
    return new Older(button);
}
const KCPluginClass classes[] = {{"BrevonaTestInterface2", &createOlder}};
} // namespace

extern "C" __attribute__((visibility("default"))) const KCPluginModule *brevona_plugin_module()
{
    static const KCPluginModule module{2, classes, 1, "BrevonaTestInterface2", nullptr};
    return &module;
}
