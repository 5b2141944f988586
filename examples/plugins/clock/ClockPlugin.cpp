// A display plugin that draws the time on its key every second.
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QTime>
#include <QTimer>

#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

class ClockPlugin : public KCPluginProtocol
{
public:
    explicit ClockPlugin(KCPluginButtonProtocol *button)
        : m_button(button)
    {
        m_timer.setInterval(1000);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { draw(); });
    }

    unsigned operations() const override { return SetValueForKey | SetValuesForKeys | Activate; }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("showSeconds"))
            m_showSeconds = value.toBool();
        else if (key == QLatin1String("color") && QColor::isValidColorName(value.toString()))
            m_color = QColor::fromString(value.toString());
    }

    void activate() override
    {
        draw();
        m_timer.start();
    }

    void deactivate() override { m_timer.stop(); }

private:
    void draw()
    {
        const QString text = QTime::currentTime().toString(m_showSeconds ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm"));
        if (text == m_shown)
            return;
        m_shown = text;
        m_button->getImage()->paint([&](QPainter &painter) {
            painter.fillRect(0, 0, KCPluginImage::Size, KCPluginImage::Size, Qt::black);
            QFont font = painter.font();
            font.setPixelSize(m_showSeconds ? 11 : 15);
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(m_color);
            painter.drawText(QRect(0, 0, KCPluginImage::Size, KCPluginImage::Size), Qt::AlignCenter, text);
        });
        m_button->update();
    }

    KCPluginButtonProtocol *m_button;
    QTimer m_timer;
    QString m_shown;
    QColor m_color = QColor(120, 220, 255);
    bool m_showSeconds = false;
};

KCPluginProtocol *createClock(KCPluginButtonProtocol *button)
{
    return new ClockPlugin(button);
}

} // namespace

BREVONA_PLUGIN_MODULE("BrevonaDisplayGeneralClock", nullptr, {{"BrevonaDisplayGeneralClock", &createClock}})
