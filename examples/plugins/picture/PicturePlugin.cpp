// A display plugin that shows the picture file named by its "filePath" setting. The class is
// created through the principal class's factory rather than the naming rule.
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QUrl>

#include <KCPluginButtonProtocol.h>
#include <KCPluginImage.h>
#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

class PicturePlugin : public KCPluginProtocol
{
public:
    explicit PicturePlugin(KCPluginButtonProtocol *button)
        : m_button(button)
    {}

    unsigned operations() const override
    {
        return SetValueForKey | SetValuesForKeys | Activate | ValueForKey | ValidateValue;
    }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key != QLatin1String("filePath"))
            return;
        m_path = value.toString();
        load();
    }

    void activate() override { load(); }

    QVariant valueForKey(const QString &key) const override
    {
        return key == QLatin1String("filePath") ? QVariant(m_path) : QVariant();
    }

    // The driver may run in another folder than the editor: only absolute paths are stored. A file
    // pasted as a URL is stored as its path.
    bool validateValue(QVariant &value, const QString &key) override
    {
        if (key != QLatin1String("filePath"))
            return true;
        QString path = value.toString().trimmed();
        if (const QUrl url(path); url.isLocalFile())
            path = url.toLocalFile();
        if (!QDir::isAbsolutePath(path))
            return false;
        value = QDir::cleanPath(path);
        return true;
    }

private:
    void load()
    {
        QImageReader reader(m_path);
        reader.setAutoTransform(true);
        const QImage picture = reader.read();
        if (picture.isNull())
            return;
        const QImage scaled = picture.scaled(KCPluginImage::Size, KCPluginImage::Size, Qt::KeepAspectRatio,
                                             Qt::SmoothTransformation);
        m_button->getImage()->paint([&](QPainter &painter) {
            painter.fillRect(0, 0, KCPluginImage::Size, KCPluginImage::Size, Qt::black);
            painter.drawImage((KCPluginImage::Size - scaled.width()) / 2,
                              (KCPluginImage::Size - scaled.height()) / 2, scaled);
        });
        m_button->update();
    }

    KCPluginButtonProtocol *m_button;
    QString m_path;
};

KCPluginProtocol *createInstance(const char *signature, KCPluginButtonProtocol *button)
{
    if (QByteArray(signature) == "brevona.display.general.picturefile")
        return new PicturePlugin(button);
    return nullptr;
}

} // namespace

BREVONA_PLUGIN_MODULE("PictureFilePlugins", &createInstance, {{"PictureFilePlugins", nullptr}})
