// Plugins that record what the host does to them in a process-wide journal the tests read, and
// plugins that throw from every call.
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <QColor>
#include <QPainter>
#include <QStringList>

#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

QStringList &journal()
{
    static QStringList entries;
    return entries;
}

class Probe : public KCPluginProtocol
{
public:
    explicit Probe(KCPluginButtonProtocol *button, const char *kind)
        : m_button(button)
        , m_kind(QString::fromLatin1(kind))
    {
        note(QStringLiteral("create"));
    }
    ~Probe() override { note(QStringLiteral("destroy")); }

    unsigned operations() const override
    {
        return SetValueForKey | SetValuesForKeys | Activate | KeyActions | ValueForKey | ValidateValue;
    }
    // Its colour, or the colour it would draw in.
    QVariant valueForKey(const QString &key) const override
    {
        return key == QLatin1String("color")
                   ? QVariant(m_color.isValid() ? m_color.name() : QStringLiteral("#000000"))
                   : QVariant();
    }
    // Colours by name are stored as numbers; others are refused.
    bool validateValue(QVariant &value, const QString &key) override
    {
        if (key != QLatin1String("color"))
            return true;
        const QColor colour = QColor::fromString(value.toString());
        value = colour.name();
        return colour.isValid();
    }
    void setValue(const QVariant &value, const QString &key) override
    {
        note(QStringLiteral("set %1=%2")
                 .arg(key, value.isValid() ? value.toString() : QStringLiteral("<none>")));
        if (key == QLatin1String("color"))
            m_color = QColor::fromString(value.toString());
        // Looks at the key's picture while the host is still creating the plugin.
        if (key == QLatin1String("peek"))
            m_button->getImage();
        // Draws without update() and asks for one repaint of every key instead.
        if (key == QLatin1String("repaint")) {
            m_button->getImage()->paint([&](QPainter &painter) {
                painter.fillRect(0, 0, 48, 48, QColor::fromString(value.toString()));
            });
            m_button->requestTotalRepaint();
        }
    }
    void activate() override
    {
        note(QStringLiteral("activate"));
        if (m_color.isValid()) {
            m_button->getImage()->paint([&](QPainter &painter) { painter.fillRect(0, 0, 48, 48, m_color); });
            m_button->update();
        }
    }
    void deactivate() override { note(QStringLiteral("deactivate")); }
    void onKeyDown() override { note(QStringLiteral("down")); }
    void onKeyUp() override { note(QStringLiteral("up")); }

private:
    void note(const QString &what)
    {
        journal().append(QStringLiteral("%1 %2 %3").arg(m_kind, m_button->buttonIdentifier(), what));
    }

    KCPluginButtonProtocol *m_button;
    QString m_kind;
    QColor m_color;
};

class Thrower : public KCPluginProtocol
{
public:
    explicit Thrower(bool throwOnActivate)
        : m_throwOnActivate(throwOnActivate)
    {}
    unsigned operations() const override { return SetValueForKey | SetValuesForKeys | Activate | KeyActions; }
    void setValue(const QVariant &, const QString &) override { throw std::runtime_error("setValue failed"); }
    void activate() override
    {
        if (m_throwOnActivate)
            throw std::runtime_error("activate failed");
    }
    void deactivate() override { throw std::runtime_error("deactivate failed"); }
    void onKeyDown() override { throw std::runtime_error("onKeyDown failed"); }

private:
    bool m_throwOnActivate;
};

// Draws and reports from a thread of its own for as long as it is active, as clock-like plugins do.
class Painter : public KCPluginProtocol
{
public:
    explicit Painter(KCPluginButtonProtocol *button)
        : m_button(button)
    {}
    ~Painter() override { deactivate(); }
    unsigned operations() const override { return Activate; }
    void activate() override
    {
        if (m_thread.joinable())
            return;
        m_running = true;
        m_thread = std::thread([this] {
            int frame = 0;
            while (m_running) {
                m_button->getImage()->paint([&](QPainter &painter) {
                    painter.fillRect(0, 0, 48, 48, QColor::fromHsv(frame++ % 360, 255, 255));
                });
                m_button->update();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    void deactivate() override
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    KCPluginButtonProtocol *m_button;
    std::atomic<bool> m_running = false;
    std::thread m_thread;
};

KCPluginProtocol *createPainter(KCPluginButtonProtocol *button)
{
    return new Painter(button);
}
KCPluginProtocol *createProbe(KCPluginButtonProtocol *button)
{
    return new Probe(button, "display");
}
KCPluginProtocol *createAction(KCPluginButtonProtocol *button)
{
    return new Probe(button, "action");
}
KCPluginProtocol *createThrowing(KCPluginButtonProtocol *)
{
    return new Thrower(false);
}
KCPluginProtocol *createActivateThrower(KCPluginButtonProtocol *)
{
    return new Thrower(true);
}
KCPluginProtocol *createFailing(KCPluginButtonProtocol *)
{
    throw std::runtime_error("cannot create");
}

} // namespace

extern "C" __attribute__((visibility("default"))) QStringList *brevona_test_journal()
{
    return &journal();
}

BREVONA_PLUGIN_MODULE("BrevonaTestProbe", nullptr,
                      {{"BrevonaTestProbe", &createProbe},
                       {"BrevonaTestAction", &createAction},
                       {"BrevonaTestThrowing", &createThrowing},
                       {"BrevonaTestThrowerActivate", &createActivateThrower},
                       {"BrevonaTestPainter", &createPainter},
                       {"BrevonaTestFailing", &createFailing}})
