#include "KDDefaultLayer.h"

#include <QImage>

#include "KDButton.h"

namespace brevona {

KDDefaultLayer::KDDefaultLayer()
    : KDLayer(QString())
{}

std::shared_ptr<KDDefaultLayer> KDDefaultLayer::create()
{
    std::shared_ptr<KDDefaultLayer> layer(new KDDefaultLayer);
    for (const QString &key :
         QStringLiteral("App0/App1/App2/App3/App4/App5/App6/App7/App8/App9").split(QLatin1Char('/'))) {
        if (auto button = KDButton::create({}, key, nullptr))
            layer->buttons()[key] = std::move(button);
    }
    return layer;
}

QString KDDefaultLayer::description() const
{
    return QStringLiteral("[x] Layer Default");
}

} // namespace brevona
