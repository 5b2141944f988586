#pragma once

#include <QByteArray>
#include <QString>

namespace brevona {

// The text of an RTF document, without its formatting: what the release notes say, for a view
// that shows plain or HTML text. Groups, control words and symbols, "\'hh" escapes (Windows-1252)
// and "\uN" characters with their "\ucN" fallbacks are understood; destinations that hold no text
// (font and colour tables, pictures, "\*" groups, field instructions, ...) are left out. The
// reduction takes input from a server, so it never recurses, bounds its nesting, gives at most one
// character per input byte and drops control characters; it always gives some text.
class RtfPlainText
{
public:
    // Deeper groups are read, but their text is left out.
    static constexpr int kMaxDepth = 128;

    // Whether the bytes start as an RTF document does ("{\rtf").
    static bool isRtf(const QByteArray &bytes);
    static QString fromRtf(const QByteArray &rtf);
};

} // namespace brevona
