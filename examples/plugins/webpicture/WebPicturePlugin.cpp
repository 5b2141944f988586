// A display plugin that shows the picture at the web address of its "url" setting, downloaded
// again every "interval" seconds (300 by default) through BrevonaUtility's download queue.
// Deactivating the key cancels its downloads: the queue never calls back into a plugin that
// stopped or went away.
#include <algorithm>

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <HTTPDownloadDelegate.h>
#include <HTTPDownloadHandler.h>
#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

class WebPicturePlugin : public KCPluginProtocol, public brevona::HTTPDownloadDelegate
{
public:
    explicit WebPicturePlugin(KCPluginButtonProtocol *button)
        : m_button(button)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { fetch(); });
    }

    ~WebPicturePlugin() override
    {
        brevona::HTTPDownloadHandler::sharedHTTPDownloadHelper()->cancelAllDownloadsForDelegate(this);
    }

    unsigned operations() const override
    {
        return SetValueForKey | SetValuesForKeys | Activate | ValueForKey | ValidateValue;
    }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("url"))
            m_url = QUrl(value.toString());
        else if (key == QLatin1String("interval") && value.toInt() > 0)
            m_timer.setInterval(value.toInt() * 1000);
        if (m_timer.isActive())
            fetch();
    }

    QVariant valueForKey(const QString &key) const override
    {
        if (key == QLatin1String("url"))
            return m_url.toString();
        if (key == QLatin1String("interval"))
            return interval();
        return {};
    }

    // An address typed without its scheme gets one ("example.com/cam.jpg" is fetched over HTTPS);
    // only web addresses are taken. The interval stays between MinimumInterval and a day, so that
    // no key asks a server more than every few seconds.
    bool validateValue(QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("url")) {
            QString text = value.toString().trimmed();
            if (!text.contains(QLatin1String("://")))
                text.prepend(QLatin1String("https://"));
            const QUrl url(text, QUrl::StrictMode);
            if (!url.isValid() || url.host().isEmpty() ||
                (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
                return false;
            value = url.toString();
        } else if (key == QLatin1String("interval")) {
            bool number = false;
            const int seconds = value.toInt(&number);
            if (!number)
                return false;
            value = std::clamp(seconds, MinimumInterval, 24 * 60 * 60);
        }
        return true;
    }

    void activate() override
    {
        m_timer.setInterval(interval() * 1000);
        m_timer.start();
        fetch();
    }

    void deactivate() override
    {
        m_timer.stop();
        brevona::HTTPDownloadHandler::sharedHTTPDownloadHelper()->cancelAllDownloadsForDelegate(this);
    }

    void takeDownloadBack(const brevona::HTTPDownloadResult &result) override
    {
        const int status = result.response.statusCode;
        QImage picture;
        if (status == 0 || (status >= 200 && status < 300))
            picture.loadFromData(result.data);
        if (picture.isNull()) {
            showProblem();
            return;
        }
        const QImage scaled = picture.scaled(KCPluginImage::Size, KCPluginImage::Size, Qt::KeepAspectRatio,
                                             Qt::SmoothTransformation);
        m_button->getImage()->paint([&](QPainter &painter) {
            painter.fillRect(0, 0, KCPluginImage::Size, KCPluginImage::Size, Qt::black);
            painter.drawImage((KCPluginImage::Size - scaled.width()) / 2,
                              (KCPluginImage::Size - scaled.height()) / 2, scaled);
        });
        m_button->update();
    }

    void errorOnDownload(const brevona::DownloadError &) override { showProblem(); }

private:
    static constexpr int MinimumInterval = 10;
    static constexpr int DefaultInterval = 300;

    int interval() const { return m_timer.interval() > 0 ? m_timer.interval() / 1000 : DefaultInterval; }

    void fetch()
    {
        if (!m_url.isValid() || m_url.isEmpty())
            return;
        auto *handler = brevona::HTTPDownloadHandler::sharedHTTPDownloadHelper();
        // One download at a time per key: a slow server must not pile requests up.
        handler->cancelAllDownloadsForDelegate(this);
        handler->downloadURL(m_url, this, QVariant());
    }

    // A dim cross tells that the picture could not be had, instead of a stale one.
    void showProblem()
    {
        m_button->getImage()->paint([](QPainter &painter) {
            painter.fillRect(0, 0, KCPluginImage::Size, KCPluginImage::Size, Qt::black);
            painter.setPen(QPen(QColor(160, 40, 40), 3));
            painter.drawLine(14, 14, 34, 34);
            painter.drawLine(34, 14, 14, 34);
        });
        m_button->update();
    }

    KCPluginButtonProtocol *m_button;
    QTimer m_timer;
    QUrl m_url;
};

KCPluginProtocol *createWebPicture(KCPluginButtonProtocol *button)
{
    return new WebPicturePlugin(button);
}

} // namespace

BREVONA_PLUGIN_MODULE("BrevonaDisplayInternetWebpicture", nullptr,
                      {{"BrevonaDisplayInternetWebpicture", &createWebPicture}})
