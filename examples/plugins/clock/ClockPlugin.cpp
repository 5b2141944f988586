// A display plugin that draws the time on its key, in the "format" of QDateTime ("hh:mm" unless
// "showSeconds" asks for "hh:mm:ss"), in "color" on "backgroundColor". All clocks of the keyboard
// share one timer: each second it redraws the clocks whose text changed and then asks the driver
// once to send every key again, so the clocks change together and cost one repaint however many
// keys show one.
#include <algorithm>
#include <memory>
#include <vector>

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QDateTime>
#include <QTimer>

#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

class ClockPlugin;

// The one timer of all shown clocks; it exists while at least one clock is shown.
class Ticker
{
public:
    static Ticker &shared()
    {
        static Ticker ticker;
        return ticker;
    }
    void add(ClockPlugin *clock);
    void remove(ClockPlugin *clock);

private:
    void tick();

    std::vector<ClockPlugin *> m_clocks;
    std::unique_ptr<QTimer> m_timer;
};

class ClockPlugin : public KCPluginProtocol
{
public:
    explicit ClockPlugin(KCPluginButtonProtocol *button)
        : m_button(button)
    {}
    ~ClockPlugin() override { Ticker::shared().remove(this); }

    unsigned operations() const override
    {
        return SetValueForKey | SetValuesForKeys | Activate | ValueForKey | ValidateValue;
    }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("showSeconds"))
            m_showSeconds = value.toBool();
        else if (key == QLatin1String("format"))
            m_format = value.toString();
        else if (key == QLatin1String("color") && QColor::isValidColorName(value.toString()))
            m_color = QColor::fromString(value.toString());
        else if (key == QLatin1String("backgroundColor") && QColor::isValidColorName(value.toString()))
            m_background = QColor::fromString(value.toString());
        m_shown.clear();
    }

    QVariant valueForKey(const QString &key) const override
    {
        if (key == QLatin1String("format"))
            return format();
        if (key == QLatin1String("showSeconds"))
            return m_showSeconds;
        if (key == QLatin1String("color"))
            return m_color.name();
        if (key == QLatin1String("backgroundColor"))
            return m_background.name();
        return {};
    }

    // Colours are stored as "#rrggbb" whatever name they were given; a format must show something.
    bool validateValue(QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("color") || key == QLatin1String("backgroundColor")) {
            const QColor colour = QColor::fromString(value.toString().trimmed());
            if (!colour.isValid())
                return false;
            value = colour.name();
        } else if (key == QLatin1String("format")) {
            return !QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59))
                        .toString(value.toString())
                        .trimmed()
                        .isEmpty();
        }
        return true;
    }

    void activate() override
    {
        if (draw())
            m_button->update();
        Ticker::shared().add(this);
    }

    void deactivate() override { Ticker::shared().remove(this); }

    // Draws the time when its text changed; says whether it did. The picture is sent by whoever
    // asked: update() for this key alone, or the ticker's one repaint of every key.
    bool draw()
    {
        const QString text = QDateTime::currentDateTime().toString(format());
        if (text == m_shown)
            return false;
        m_shown = text;
        m_button->getImage()->paint([&](QPainter &painter) {
            painter.fillRect(0, 0, KCPluginImage::Size, KCPluginImage::Size, m_background);
            // The largest type up to 15 pixels that fits the key's width.
            QFont font = painter.font();
            font.setBold(true);
            for (int size = 15; size >= 6; --size) {
                font.setPixelSize(size);
                if (QFontMetrics(font).horizontalAdvance(text) <= KCPluginImage::Size - 2)
                    break;
            }
            painter.setFont(font);
            painter.setPen(m_color);
            painter.drawText(QRect(0, 0, KCPluginImage::Size, KCPluginImage::Size), Qt::AlignCenter, text);
        });
        return true;
    }

    KCPluginButtonProtocol *button() const { return m_button; }

private:
    QString format() const
    {
        if (!m_format.isEmpty())
            return m_format;
        return m_showSeconds ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
    }

    KCPluginButtonProtocol *m_button;
    QString m_shown;
    QString m_format;
    QColor m_color = QColor(120, 220, 255);
    QColor m_background = Qt::black;
    bool m_showSeconds = false;
};

void Ticker::add(ClockPlugin *clock)
{
    if (std::find(m_clocks.begin(), m_clocks.end(), clock) != m_clocks.end())
        return;
    m_clocks.push_back(clock);
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setInterval(1000);
        QObject::connect(m_timer.get(), &QTimer::timeout, [this] { tick(); });
        m_timer->start();
    }
}

void Ticker::remove(ClockPlugin *clock)
{
    m_clocks.erase(std::remove(m_clocks.begin(), m_clocks.end(), clock), m_clocks.end());
    if (m_clocks.empty())
        m_timer.reset();
}

void Ticker::tick()
{
    KCPluginButtonProtocol *anyChanged = nullptr;
    for (ClockPlugin *clock : m_clocks) {
        if (clock->draw())
            anyChanged = clock->button();
    }
    if (anyChanged)
        anyChanged->requestTotalRepaint();
}

KCPluginProtocol *createClock(KCPluginButtonProtocol *button)
{
    return new ClockPlugin(button);
}

} // namespace

BREVONA_PLUGIN_MODULE("BrevonaDisplayGeneralClock", nullptr, {{"BrevonaDisplayGeneralClock", &createClock}})
