#pragma once

#include <optional>

#include <QPoint>
#include <QRect>
#include <QString>
#include <QVariantMap>

namespace brevona::test {

// The generated resource folder of this build and small readers the checks share. The point
// and rectangle parsers are the tests' own, so that the checks do not lean on the code they check.
struct ResourceFiles
{
    static QString folder();
    static QString path(const QString &name);
    static QVariantMap dictionary(const QString &name); // empty when unreadable
    static std::optional<QPoint> point(const QVariant &text);
    static std::optional<QRect> rect(const QVariant &text);
    // Compression tag (259) of the first picture of a TIFF file; 5 is LZW.
    static std::optional<int> tiffCompression(const QString &path);
};

} // namespace brevona::test
