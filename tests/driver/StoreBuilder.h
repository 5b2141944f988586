#pragma once

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QStringList>
#include <QVariantMap>

#include "PropertyList.h"

namespace brevona::test {

// Writes layer-store folders for tests, as the configurator would.
class StoreBuilder
{
public:
    explicit StoreBuilder(QString root)
        : m_root(std::move(root))
    {
        QDir().mkpath(m_root);
    }

    const QString &root() const { return m_root; }

    QString group(const QString &relativePath, const QStringList &order, QVariantMap extra = {}) const
    {
        const QString folder = QDir(m_root).filePath(relativePath);
        QDir().mkpath(folder);
        QVariantList list;
        for (const QString &id : order)
            list.append(id);
        extra.insert(QStringLiteral("ItemOrder"), list);
        if (!extra.contains(QStringLiteral("DisplayName")))
            extra.insert(QStringLiteral("DisplayName"), relativePath);
        PropertyList::writeFile(QDir(folder).filePath(QStringLiteral("Group.plist")), extra);
        return folder;
    }

    QString layer(const QString &relativePath, QVariantMap plist = {}, const QImage &picture = QImage()) const
    {
        const QString folder = QDir(m_root).filePath(relativePath);
        QDir().mkpath(folder);
        if (!plist.contains(QStringLiteral("Buttons")))
            plist.insert(QStringLiteral("Buttons"), QVariantMap{});
        PropertyList::writeFile(QDir(folder).filePath(QStringLiteral("Layer.plist")), plist);
        QImage image = picture;
        if (image.isNull()) {
            image = QImage(1312, 376, QImage::Format_RGB32);
            image.fill(Qt::black);
        }
        QImageWriter writer(QDir(folder).filePath(QStringLiteral("Main.tiff")), "tiff");
        writer.setCompression(1);
        writer.write(image);
        return folder;
    }

private:
    QString m_root;
};

} // namespace brevona::test
