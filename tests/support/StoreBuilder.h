#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace brevona::test {

// Writes layer-store folders as the configurator does, with the real property-list writer: the
// one way tests, fuzz targets and benchmarks make a store. Paths are relative to the root; the
// root group is the empty path.
class StoreBuilder
{
public:
    explicit StoreBuilder(QString root);

    const QString &root() const { return m_root; }

    // "Group.plist" with the item order; `extra` adds keys ("DisplayName" is the path unless given).
    QString group(const QString &path, const QStringList &order, QVariantMap extra = {}) const;
    // "Layer.plist" ("Buttons" empty unless given) and "Main.tiff" (black unless given).
    QString layer(const QString &path, QVariantMap plist = {}, const QImage &picture = QImage()) const;

    // `groups` groups ("G0"...) of `layersPerGroup` layers ("L0_0"...), each written with `plist` and
    // `picture`, listed in the root in that order: the stores of the benchmarks.
    void groupedLayers(int groups, int layersPerGroup, const QVariantMap &plist, const QImage &picture) const;

    // Each key with the same entry: {"A": entry, "B": entry}.
    static QVariantMap buttons(const QStringList &keys, const QVariantMap &entry = {});
    // Every key of the keyboard.
    static QStringList allKeys();
    // A plugin entry: {"Signature": signature, "Settings": settings}.
    static QVariantMap plugin(const QString &signature, const QVariantMap &settings = {});

    // Condition records as the configurator stores them.
    static QVariantMap condition(const QString &type, const QVariantMap &settings);
    static QVariantMap application(const QString &identifier, const QString &predicate);
    static QVariantMap language(const QString &layout);
    static QVariantMap modifiers(const QString &keys); // "Shift|Option"
    static QVariantMap idle(double seconds);
    static QVariantMap capsLock(bool on);

    // A layer picture: black, with the cells of the given keys filled.
    static QImage layerPicture(const QList<QPair<QString, QColor>> &cells = {});
    // A picture's bytes as the configurator sends "Image": TIFF, LZW-compressed.
    static QByteArray tiff(const QImage &picture);
    static QByteArray tiff(const QColor &colour, int side = 48);

private:
    QString m_root;
};

} // namespace brevona::test
