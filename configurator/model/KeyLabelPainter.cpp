#include "KeyLabelPainter.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include "ModelLogging.h"

namespace brevona {

namespace {

const QString kDejaVuSans = QStringLiteral("DejaVu Sans");
// A private-use character some fonts draw as a logo; it sits lower than capitals.
constexpr char32_t kLogoCharacter = 0xF8FF;

struct FamilyCache
{
    std::mutex lock;
    QHash<QString, QString> resolved;
};

FamilyCache &familyCache()
{
    static FamilyCache cache;
    return cache;
}

} // namespace

QString KeyLabelPainter::systemSansFamily()
{
    static const QString family = [] {
        QFont sans(QStringLiteral("sans-serif"));
        sans.setStyleHint(QFont::SansSerif);
        const QString resolved = QFontInfo(sans).family();
        if (hasFamily(resolved))
            return resolved;
        return hasFamily(kDejaVuSans) ? kDejaVuSans : QFontDatabase::families().value(0);
    }();
    return family;
}

bool KeyLabelPainter::hasFamily(const QString &family)
{
    return !family.isEmpty() && QFontDatabase::hasFamily(family);
}

QString KeyLabelPainter::availableFamily(const QString &family)
{
    FamilyCache &cache = familyCache();
    {
        std::lock_guard guard(cache.lock);
        const auto found = cache.resolved.constFind(family);
        if (found != cache.resolved.cend())
            return *found;
    }
    QString chosen;
    for (const QString &candidate : {family, systemSansFamily(), kDejaVuSans}) {
        if (hasFamily(candidate)) {
            chosen = candidate;
            break;
        }
    }
    if (chosen.isEmpty())
        chosen = QFontDatabase::families().value(0);
    if (chosen != family) {
        qCInfo(lcModel, "Font family \"%s\" is not installed; drawing with \"%s\"", qUtf8Printable(family),
               qUtf8Printable(chosen));
    }
    std::lock_guard guard(cache.lock);
    cache.resolved.insert(family, chosen);
    return chosen;
}

QFont KeyLabelPainter::font(const QString &family, double size, bool bold, bool italic)
{
    QFont font(availableFamily(family));
    font.setPixelSize(std::max(1, static_cast<int>(size)));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    return font;
}

QFont KeyLabelPainter::systemFont(double size)
{
    return font(systemSansFamily(), size);
}

int KeyLabelPainter::legibleSize(double size)
{
    if (!std::isfinite(size))
        return MinimumLegibleSize;
    return std::max(MinimumLegibleSize, static_cast<int>(size));
}

void KeyLabelPainter::drawLetter(QPainter &painter, const QString &text, const std::optional<QFont> &font,
                                 const QColor &background, const QColor &textColor, const QRectF &frame)
{
    if (background.isValid())
        painter.fillRect(frame, background);
    if (text.isEmpty())
        return;
    const QFont used = font.value_or(systemFont(DefaultSize));
    const QColor colour = textColor.isValid() ? textColor : QColor(Qt::white);
    const QFontMetricsF metrics(used);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QList<uint> characters = text.toUcs4();
    if (characters.size() == 1 && metrics.inFontUcs4(characters.first())) {
        // The capital height is centred, so letters of one layer share one baseline.
        double height = metrics.capHeight();
        if (characters.first() == kLogoCharacter)
            height += 0.15 * used.pixelSize();
        const double x = frame.x() + (frame.width() - metrics.horizontalAdvance(text)) / 2;
        const double baseline = frame.y() + (frame.height() + height) / 2;
        QPainterPath outline;
        outline.addText(QPointF(x, baseline), used, text);
        painter.fillPath(outline, colour);
    } else {
        // The line box is centred, its offset from the frame's bottom edge rounded to whole pixels.
        const double width = metrics.horizontalAdvance(text);
        const double height = metrics.height();
        const double x = std::round(frame.x() + (frame.width() - width) / 2);
        const double fromBottom = std::round((frame.height() - height) / 2);
        const double top = frame.y() + frame.height() - fromBottom - height;
        painter.setFont(used);
        painter.setPen(colour);
        painter.drawText(QPointF(x, top + metrics.ascent()), text);
    }
    painter.restore();
}

} // namespace brevona
