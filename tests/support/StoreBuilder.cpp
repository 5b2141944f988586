#include "StoreBuilder.h"

#include <QDir>
#include <QPainter>

#include "KeyboardData.h"
#include "LanguageTable.h"
#include "StoreWriter.h"

namespace brevona::test {

StoreBuilder::StoreBuilder(QString root)
    : m_root(std::move(root))
{
    QDir().mkpath(m_root);
}

QString StoreBuilder::group(const QString &path, const QStringList &order, QVariantMap extra) const
{
    const QString folder = QDir(m_root).filePath(path);
    QDir().mkpath(folder);
    extra.insert(QStringLiteral("ItemOrder"), QVariant(order).toList());
    if (!extra.contains(QStringLiteral("DisplayName")))
        extra.insert(QStringLiteral("DisplayName"), path);
    StoreWriter(m_root).writeGroup(path, extra);
    return folder;
}

QString StoreBuilder::layer(const QString &path, QVariantMap plist, const QImage &picture) const
{
    const QString folder = QDir(m_root).filePath(path);
    QDir().mkpath(folder);
    if (!plist.contains(QStringLiteral("Buttons")))
        plist.insert(QStringLiteral("Buttons"), QVariantMap{});
    const StoreWriter writer(m_root);
    writer.writeLayer(path, plist);
    writer.writePicture(path, picture.isNull() ? layerPicture() : picture);
    return folder;
}

QVariantMap StoreBuilder::buttons(const QStringList &keys, const QVariantMap &entry)
{
    QVariantMap map;
    for (const QString &key : keys)
        map.insert(key, entry);
    return map;
}

QStringList StoreBuilder::allKeys()
{
    QStringList names;
    for (const KeyboardData::Key &key : KeyboardData::shared().keys())
        names.append(key.name);
    return names;
}

QVariantMap StoreBuilder::plugin(const QString &signature, const QVariantMap &settings)
{
    return {{QStringLiteral("Signature"), signature}, {QStringLiteral("Settings"), settings}};
}

QVariantMap StoreBuilder::condition(const QString &type, const QVariantMap &settings)
{
    return {{QStringLiteral("Type"), type}, {QStringLiteral("Settings"), settings}};
}

QVariantMap StoreBuilder::application(const QString &identifier, const QString &predicate)
{
    return condition(QStringLiteral("brevona.condition.application"),
                     {{QStringLiteral("Application"), identifier}, {QStringLiteral("Predicate"), predicate}});
}

QVariantMap StoreBuilder::language(const QString &layout)
{
    return condition(QStringLiteral("brevona.condition.language"),
                     {{QStringLiteral("LanguageID"), LanguageTable::identifierForLayout(layout)}});
}

QVariantMap StoreBuilder::modifiers(const QString &keys)
{
    return condition(QStringLiteral("brevona.condition.modifier"), {{QStringLiteral("Keys"), keys}});
}

QVariantMap StoreBuilder::idle(double seconds)
{
    return condition(QStringLiteral("brevona.condition.idle"), {{QStringLiteral("Time"), seconds}});
}

QVariantMap StoreBuilder::capsLock(bool on)
{
    return condition(QStringLiteral("brevona.condition.capslock"), {{QStringLiteral("State"), on}});
}

QImage StoreBuilder::layerPicture(const QList<QPair<QString, QColor>> &cells)
{
    QImage picture(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    for (const auto &[key, colour] : cells) {
        if (const KeyboardData::Key *found = KeyboardData::shared().key(key))
            painter.fillRect(found->cell(), colour);
    }
    return picture;
}

QByteArray StoreBuilder::tiff(const QImage &picture)
{
    return StoreWriter::tiffData(picture);
}

QByteArray StoreBuilder::tiff(const QColor &colour, int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(colour);
    return tiff(picture);
}

void StoreBuilder::groupedLayers(int groups, int layersPerGroup, const QVariantMap &plist,
                                 const QImage &picture) const
{
    QStringList order;
    for (int g = 0; g < groups; ++g) {
        const QString group = QStringLiteral("G%1").arg(g);
        QStringList layers;
        for (int l = 0; l < layersPerGroup; ++l) {
            layers.append(QStringLiteral("L%1_%2").arg(g).arg(l));
            layer(group + QLatin1Char('/') + layers.last(), plist, picture);
        }
        this->group(group, layers);
        order.append(group);
    }
    this->group(QString(), order, {{QStringLiteral("DisplayName"), QStringLiteral("root")}});
}

} // namespace brevona::test
