// What the update server sends: the RTF reduction never grows the text, never leaves a control
// character or a lone surrogate, and ends on deep nesting; a version list reads or is refused,
// and a package name it accepts is a plain file name; the notes' dimming finds its text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include "ReleaseNotes.h"
#include "RtfPlainText.h"
#include "UpdateFeed.h"

using namespace brevona;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        return true;
    }();
    (void)quiet;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const QString text = RtfPlainText::fromRtf(bytes);
    if (text.size() > bytes.size())
        std::abort();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if ((c.unicode() < 0x20 && c != QLatin1Char('\n') && c != QLatin1Char('\t')) || c.unicode() == 0x7F)
            std::abort();
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                std::abort();
            ++i;
        } else if (c.isLowSurrogate()) {
            std::abort();
        }
    }

    const Result<UpdateFeed> feed = UpdateFeed::parse(bytes);
    if (feed && !feed->filename.isEmpty() && !UpdateFeed::isPlainFilename(feed->filename))
        std::abort();

    const QString version = QString::fromLatin1(bytes.left(8));
    const qsizetype position = ReleaseNotes::dimmingPosition(text, version);
    if (position >= 0 && (position < ReleaseNotes::kMinimumDimmingPosition ||
                          !text.mid(position).startsWith(QStringLiteral("Version ") + version)))
        std::abort();
    return 0;
}
