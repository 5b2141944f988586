#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace brevona {

// The release notes the update server sends, as a view can show them. The server may send HTML or
// Markdown (by its Content-Type, or the name of the file it finally answered with); RTF and
// anything else is shown as its plain text. Notes of versions already installed are set apart
// below a rule and dimmed.
class ReleaseNotes
{
public:
    enum class Format
    {
        Html,
        Markdown,
        PlainText, // RTF arrives reduced to its text
    };

    // A notes view shows the dimmed part in this colour.
    static constexpr const char *kDimmedColour = "#555555";
    // "Version <installed>" this close to the start is the newest entry, not an old one.
    static constexpr int kMinimumDimmingPosition = 11;

    ReleaseNotes() = default;
    ReleaseNotes(Format format, QString text);

    // The notes from an answer's body, its Content-Type header and its final address's file name.
    static ReleaseNotes fromReply(const QByteArray &body, const QString &contentType,
                                  const QString &fileName);

    Format format() const { return m_format; }
    // HTML or Markdown source, or the plain text.
    const QString &text() const { return m_text; }

    // Where the notes of the installed version start in `plainText`: the first "Version
    // <installed>" at position 11 or later; -1 when there is none.
    static qsizetype dimmingPosition(const QString &plainText, const QString &installedVersion);

    // The notes as a document: from the dimming position on, the text is dark grey, and, when the
    // server's version differs from the installed one, a horizontal rule stands just before it.
    // The caller owns the document.
    QTextDocument *document(const QString &installedVersion, const QString &availableVersion) const;
    // The same document as HTML, for a view that takes HTML.
    QString html(const QString &installedVersion, const QString &availableVersion) const;

private:
    Format m_format = Format::PlainText;
    QString m_text;
};

} // namespace brevona
