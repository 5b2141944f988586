#include "ReleaseNotes.h"

#include <memory>
#include <optional>

#include <QColor>
#include <QFileInfo>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLength>

#include "RtfPlainText.h"

namespace brevona {

namespace {

std::optional<ReleaseNotes::Format> formatOfType(const QString &contentType)
{
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    if (type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml"))
        return ReleaseNotes::Format::Html;
    if (type == QLatin1String("text/markdown") || type == QLatin1String("text/x-markdown"))
        return ReleaseNotes::Format::Markdown;
    return std::nullopt;
}

std::optional<ReleaseNotes::Format> formatOfName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm") || suffix == QLatin1String("xhtml"))
        return ReleaseNotes::Format::Html;
    if (suffix == QLatin1String("md") || suffix == QLatin1String("markdown"))
        return ReleaseNotes::Format::Markdown;
    return std::nullopt;
}

} // namespace

ReleaseNotes::ReleaseNotes(Format format, QString text)
    : m_format(format)
    , m_text(std::move(text))
{}

ReleaseNotes ReleaseNotes::fromReply(const QByteArray &body, const QString &contentType,
                                     const QString &fileName)
{
    // The type the server states wins over the file name; RTF is recognised by its first bytes,
    // as servers often send it as "application/octet-stream".
    std::optional<Format> format = formatOfType(contentType);
    if (!format)
        format = formatOfName(fileName);
    if (format)
        return ReleaseNotes(*format, QString::fromUtf8(body));
    if (RtfPlainText::isRtf(body))
        return ReleaseNotes(Format::PlainText, RtfPlainText::fromRtf(body));
    return ReleaseNotes(Format::PlainText, QString::fromUtf8(body));
}

qsizetype ReleaseNotes::dimmingPosition(const QString &plainText, const QString &installedVersion)
{
    const qsizetype found = plainText.indexOf(QStringLiteral("Version ") + installedVersion);
    return found >= kMinimumDimmingPosition ? found : -1;
}

QTextDocument *ReleaseNotes::document(const QString &installedVersion, const QString &availableVersion) const
{
    auto *document = new QTextDocument;
    switch (m_format) {
    case Format::Html:
        document->setHtml(m_text);
        break;
    case Format::Markdown:
        document->setMarkdown(m_text, QTextDocument::MarkdownDialectGitHub);
        break;
    case Format::PlainText:
        document->setPlainText(m_text);
        break;
    }
    const qsizetype position = dimmingPosition(document->toPlainText(), installedVersion);
    if (position < 0)
        return document;

    QTextCursor cursor(document);
    cursor.setPosition(static_cast<int>(position));
    if (availableVersion != installedVersion) {
        // An empty paragraph of its own carries the rule, so the text before it keeps its lines.
        if (!cursor.atBlockStart())
            cursor.insertBlock();
        cursor.insertBlock();
        const int start = cursor.position();
        cursor.movePosition(QTextCursor::PreviousBlock);
        QTextBlockFormat rule;
        rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                         QTextLength(QTextLength::PercentageLength, 100));
        cursor.setBlockFormat(rule);
        cursor.setPosition(start);
    }
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    QTextCharFormat dimmed;
    dimmed.setForeground(QColor(QLatin1String(kDimmedColour)));
    cursor.mergeCharFormat(dimmed);
    return document;
}

QString ReleaseNotes::html(const QString &installedVersion, const QString &availableVersion) const
{
    const std::unique_ptr<QTextDocument> notes(document(installedVersion, availableVersion));
    return notes->toHtml();
}

} // namespace brevona
