#include "RtfPlainText.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include <QHash>
#include <QSet>

namespace brevona {

namespace {

// Windows-1252 at 0x80...0x9F; the other bytes are Latin-1. Unassigned places read as U+FFFD.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char16_t fromCp1252(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return kCp1252High[byte - 0x80];
    return byte;
}

// Groups whose first control word names one of these hold no text of the document.
const QSet<QByteArray> &skippedDestinations()
{
    static const QSet<QByteArray> names{
        "fonttbl",
        "colortbl",
        "expandedcolortbl",
        "stylesheet",
        "info",
        "pict",
        "header",
        "headerl",
        "headerr",
        "headerf",
        "footer",
        "footerl",
        "footerr",
        "footerf",
        "footnote",
        "listtable",
        "listoverridetable",
        "generator",
        "themedata",
        "colorschememapping",
        "datastore",
        "latentstyles",
        "rsidtbl",
        "xmlnsstyle",
        "filetbl",
        "object",
        "objdata",
        "fldinst",
        "nonshppict",
        "mmathPr",
        "pgdsctbl",
        "revtbl",
        "userprops",
        "xe",
        "tc",
        "bkmkstart",
        "bkmkend",
        "private",
        "operator",
        "author",
        "title",
    };
    return names;
}

// What a control word stands for in the text; nothing for formatting.
std::optional<QString> textOfWord(const QByteArray &word)
{
    static const QHash<QByteArray, QString> words{
        {"par", QStringLiteral("\n")},         {"line", QStringLiteral("\n")},
        {"sect", QStringLiteral("\n")},        {"page", QStringLiteral("\n")},
        {"row", QStringLiteral("\n")},         {"cell", QStringLiteral("\t")},
        {"tab", QStringLiteral("\t")},         {"emdash", QString(QChar(0x2014))},
        {"endash", QString(QChar(0x2013))},    {"bullet", QString(QChar(0x2022))},
        {"lquote", QString(QChar(0x2018))},    {"rquote", QString(QChar(0x2019))},
        {"ldblquote", QString(QChar(0x201C))}, {"rdblquote", QString(QChar(0x201D))},
        {"emspace", QStringLiteral(" ")},      {"enspace", QStringLiteral(" ")},
        {"qmspace", QStringLiteral(" ")},
    };
    const auto found = words.constFind(word);
    if (found == words.cend())
        return std::nullopt;
    return *found;
}

struct GroupState
{
    bool skip = false;
    int uc = 1; // characters that stand in for each "\uN"
};

class Reducer
{
public:
    explicit Reducer(const QByteArray &rtf)
        : m_in(rtf)
    {
        m_out.reserve(rtf.size());
    }

    QString run()
    {
        m_stack.push_back(GroupState{});
        while (m_at < m_in.size()) {
            const char c = m_in[m_at++];
            if (c == '{') {
                openGroup();
                continue;
            }
            if (c == '}') {
                closeGroup();
                continue;
            }
            if (c == '\r' || c == '\n')
                continue;
            const bool groupStart = m_groupStart;
            m_groupStart = false;
            if (c == '\\') {
                controlSequence(groupStart);
                continue;
            }
            character(fromCp1252(static_cast<unsigned char>(c)));
        }
        return cleaned();
    }

private:
    GroupState &state() { return m_stack.back(); }

    void openGroup()
    {
        m_pendingSkip = 0;
        GroupState inner = state();
        if (++m_depth > RtfPlainText::kMaxDepth)
            inner.skip = true;
        // The stack stays bounded too: groups beyond the limit share the last state.
        if (m_depth <= RtfPlainText::kMaxDepth + 1)
            m_stack.push_back(inner);
        m_groupStart = true;
    }

    void closeGroup()
    {
        m_pendingSkip = 0;
        m_groupStart = false;
        if (m_depth == 0)
            return; // an unmatched closing brace ends nothing
        if (m_depth <= RtfPlainText::kMaxDepth + 1)
            m_stack.pop_back();
        --m_depth;
    }

    // A character of the text, unless it stands in for the "\uN" before it.
    void character(char16_t unit)
    {
        if (m_pendingSkip > 0) {
            --m_pendingSkip;
            return;
        }
        if (!state().skip)
            m_out.append(QChar(unit));
    }

    void text(const QString &value)
    {
        if (m_pendingSkip > 0) {
            --m_pendingSkip;
            return;
        }
        if (!state().skip)
            m_out.append(value);
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    static int hexValue(char c)
    {
        if (isDigit(c))
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    void controlSequence(bool groupStart)
    {
        if (m_at >= m_in.size())
            return;
        const char c = m_in[m_at];
        if (isLetter(c)) {
            controlWord(groupStart);
            return;
        }
        ++m_at;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            character(static_cast<char16_t>(c));
            return;
        case '~':
            character(0x00A0);
            return;
        case '_':
            character(0x2011);
            return;
        case '\r':
        case '\n':
            text(QStringLiteral("\n"));
            return;
        case '*':
            if (groupStart)
                state().skip = true;
            return;
        case '\'': {
            const int high = m_at < m_in.size() ? hexValue(m_in[m_at]) : -1;
            const int low = m_at + 1 < m_in.size() ? hexValue(m_in[m_at + 1]) : -1;
            if (high < 0 || low < 0)
                return; // a broken escape stands for nothing
            m_at += 2;
            character(fromCp1252(static_cast<unsigned char>(high * 16 + low)));
            return;
        }
        default:
            return; // "\-" (optional hyphen) and unknown symbols stand for nothing
        }
    }

    void controlWord(bool groupStart)
    {
        constexpr qsizetype kMaxWord = 32;
        constexpr qsizetype kMaxDigits = 10;
        const qsizetype start = m_at;
        while (m_at < m_in.size() && isLetter(m_in[m_at]) && m_at - start < kMaxWord)
            ++m_at;
        const QByteArray word = m_in.mid(start, m_at - start);
        bool hasParameter = false;
        bool negative = false;
        long long parameter = 0;
        if (m_at < m_in.size() && m_in[m_at] == '-' && m_at + 1 < m_in.size() && isDigit(m_in[m_at + 1])) {
            negative = true;
            ++m_at;
        }
        const qsizetype digitsStart = m_at;
        while (m_at < m_in.size() && isDigit(m_in[m_at])) {
            if (m_at - digitsStart < kMaxDigits)
                parameter = parameter * 10 + (m_in[m_at] - '0');
            hasParameter = true;
            ++m_at;
        }
        if (negative)
            parameter = -parameter;
        if (m_at < m_in.size() && m_in[m_at] == ' ')
            ++m_at; // the delimiter belongs to the word

        if (groupStart && skippedDestinations().contains(word)) {
            state().skip = true;
            return;
        }
        if (word == "bin") {
            // Binary data of that many bytes follows; it is never text.
            const qsizetype length = hasParameter && parameter > 0 ? static_cast<qsizetype>(parameter) : 0;
            m_at = std::min<qsizetype>(m_in.size(), m_at + length);
            return;
        }
        if (word == "uc") {
            if (hasParameter)
                state().uc = static_cast<int>(std::clamp<long long>(parameter, 0, 10));
            return;
        }
        if (word == "u" && hasParameter) {
            // A signed 16-bit value: negative numbers stand for the units above 0x7FFF.
            long long unit = parameter;
            if (unit < 0)
                unit += 65536;
            if (unit >= 0 && unit <= 0xFFFF)
                character(static_cast<char16_t>(unit));
            m_pendingSkip = state().uc;
            return;
        }
        if (const auto value = textOfWord(word)) {
            text(*value);
            return;
        }
        // Formatting words are left out, but one still counts as a fallback character of "\uN".
        if (m_pendingSkip > 0)
            --m_pendingSkip;
    }

    // Control characters and lone surrogates (from "\uN" halves) have no place in the text.
    QString cleaned() const
    {
        QString result;
        result.reserve(m_out.size());
        for (qsizetype i = 0; i < m_out.size(); ++i) {
            const QChar c = m_out.at(i);
            if (c.isHighSurrogate() && i + 1 < m_out.size() && m_out.at(i + 1).isLowSurrogate()) {
                result.append(c);
                result.append(m_out.at(++i));
                continue;
            }
            if (c.isSurrogate()) {
                result.append(QChar(QChar::ReplacementCharacter));
                continue;
            }
            const char16_t unit = c.unicode();
            if ((unit < 0x20 && unit != '\n' && unit != '\t') || unit == 0x7F)
                continue;
            result.append(c);
        }
        return result;
    }

    const QByteArray &m_in;
    qsizetype m_at = 0;
    QString m_out;
    std::vector<GroupState> m_stack;
    int m_depth = 0;
    int m_pendingSkip = 0;
    bool m_groupStart = false;
};

} // namespace

bool RtfPlainText::isRtf(const QByteArray &bytes)
{
    return bytes.startsWith("{\\rtf");
}

QString RtfPlainText::fromRtf(const QByteArray &rtf)
{
    return Reducer(rtf).run();
}

} // namespace brevona
