// What the update server sends, read: versions compared as decimal numbers, the version list, the
// notes' format and dimming, and RTF reduced to its text. That none of it crashes on hostile input
// is the update input fuzzer's to find.
#include <memory>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "ReleaseNotes.h"
#include "RtfPlainText.h"
#include "TestPrinters.h"
#include "UpdateFeed.h"
#include "UpdateVersion.h"

using namespace brevona;

namespace {

// ---- Versions are decimal numbers ------------------------------------------------------------

struct VersionRow
{
    const char *name;
    const char *available;
    const char *installed;
    bool newer;
};

class VersionComparison : public testing::TestWithParam<VersionRow>
{
};

TEST_P(VersionComparison, OffersOnlyALargerNumber)
{
    const VersionRow &row = GetParam();
    EXPECT_EQ(UpdateVersion::isNewer(QString::fromUtf8(row.available), QString::fromUtf8(row.installed)),
              row.newer);
}

// clang-format off
const VersionRow kVersionRows[] = {
    {.name = "Same",                  .available = "1.5",        .installed = "1.5", .newer = false},
    {.name = "TenIsNotNewerThanNine", .available = "1.10",       .installed = "1.9", .newer = false},
    {.name = "ThirdPartIgnored",      .available = "1.5.3",      .installed = "1.5", .newer = false},
    {.name = "LeadingSpace",          .available = "  1.6",      .installed = "1.5", .newer = true},
    {.name = "NonNumericIsZero",      .available = "beta",       .installed = "0.1", .newer = false},
    {.name = "Exponent",              .available = "1e1",        .installed = "9.5", .newer = true},
    {.name = "BareExponentLetter",    .available = "2e",         .installed = "1.9", .newer = true},
    {.name = "Negative",              .available = "-2",         .installed = "1",   .newer = false},
    {.name = "FloatPrecisionTies",    .available = "1.00000001", .installed = "1",   .newer = false},
    {.name = "TooLargeIsZero",        .available = "1e99",       .installed = "1",   .newer = false},
    {.name = "LeadingPoint",          .available = ".5",         .installed = "0.4", .newer = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, VersionComparison, testing::ValuesIn(kVersionRows), test::RowName());

// ---- The version list -------------------------------------------------------------------------

struct FeedRow
{
    const char *name;
    QByteArray bytes;
    const char *error; // nullptr: read
    const char *version = "1.6";
    QByteArray filename = {};
};

class VersionList : public testing::TestWithParam<FeedRow>
{
};

TEST_P(VersionList, ReadsOnlyTheConfiguratorEntryAndPlainFileNames)
{
    const FeedRow &row = GetParam();
    const Result<UpdateFeed> feed = UpdateFeed::parse(row.bytes);
    if (row.error) {
        ASSERT_FALSE(feed.has_value());
        EXPECT_EQ(feed.error(), QString::fromUtf8(row.error));
        return;
    }
    ASSERT_TRUE(feed.has_value()) << feed.error().toStdString();
    EXPECT_EQ(feed->version, QString::fromUtf8(row.version));
    EXPECT_EQ(feed->filename, QString::fromUtf8(row.filename));
}

#define PLIST(body) "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" body "</plist>"

// A list naming version 1.6 in `filename`.
QByteArray naming(const QByteArray &filename)
{
    return QByteArray(PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string>"
                            "<key>Filename</key><string>%1</string></dict></dict>"))
        .replace("%1", filename);
}

constexpr const char *kNotPlain = "the version list names a package that is not a plain file name";
const QByteArray kLongest = QByteArray(UpdateFeed::kMaxFilenameLength - 4, 'a') + ".tgz";

// clang-format off
const FeedRow kFeedRows[] = {
    {.name = "Full", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string><key>Filename</key><string>Lumivox Software 2.0.tar.gz</string><key>Other</key><integer>1</integer></dict><key>Driver</key><dict/></dict>"), .error = nullptr, .filename = "Lumivox Software 2.0.tar.gz"},
    {.name = "NoFilename", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string></dict></dict>"), .error = nullptr},
    {.name = "VersionNotAString", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><real>1.6</real></dict></dict>"), .error = nullptr, .version = ""},
    {.name = "NotADictionary", .bytes = PLIST("<array/>"), .error = "the version list is not a dictionary"},
    {.name = "NotAPropertyList", .bytes = "Version=1.6", .error = "the version list is not a property list"},
    {.name = "FilenameNotAString", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string><key>Filename</key><integer>3</integer></dict></dict>"), .error = kNotPlain},
    {.name = "FilenameParentheses", .bytes = naming("brevona (2.0)+1~rc.tgz"), .error = nullptr, .filename = "brevona (2.0)+1~rc.tgz"},
    {.name = "FilenameLongest", .bytes = naming(kLongest), .error = nullptr, .filename = kLongest},
    {.name = "FilenameTooLong", .bytes = naming("a" + kLongest), .error = kNotPlain},
    {.name = "FilenameEmpty", .bytes = naming(""), .error = kNotPlain},
    {.name = "FilenameInAFolder", .bytes = naming("old/brevona.tgz"), .error = kNotPlain},
    {.name = "FilenameDotDotInside", .bytes = naming("a..b.tgz"), .error = kNotPlain},
    {.name = "FilenameHidden", .bytes = naming(".brevona.tgz"), .error = kNotPlain},
    {.name = "FilenameLeadingSpace", .bytes = naming(" brevona.tgz"), .error = kNotPlain},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, VersionList, testing::ValuesIn(kFeedRows), test::RowName());

// ---- Release notes: the server's format; the installed versions' notes set apart and dimmed ----

struct NotesRow
{
    const char *name;
    const char *body;
    int dimFrom;      // in the document's text: where the dimmed text starts; -1: nothing is dimmed
    bool rule = true; // a rule, in a paragraph of its own, stands just before the dimmed text
    const char *available = "1.6";
    const char *contentType = "text/plain";
    const char *fileName = "description.rtf";
    ReleaseNotes::Format format = ReleaseNotes::Format::PlainText;
};

class NotesView : public testing::TestWithParam<NotesRow>
{
};

TEST_P(NotesView, TakesTheServersFormatAndDimsFromTheInstalledVersion)
{
    const NotesRow &row = GetParam();
    const ReleaseNotes notes = ReleaseNotes::fromReply(row.body, QString::fromUtf8(row.contentType),
                                                       QString::fromUtf8(row.fileName));
    EXPECT_EQ(notes.format(), row.format);
    EXPECT_EQ(notes.text(), QString::fromUtf8(row.body));
    const std::unique_ptr<QTextDocument> document(
        notes.document(QStringLiteral("1.5"), QString::fromUtf8(row.available)));
    int ruleEnd = -1;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) {
            EXPECT_EQ(ruleEnd, -1) << "one rule";
            EXPECT_TRUE(block.text().isEmpty()) << "the rule stands in a paragraph of its own";
            ruleEnd = block.position() + block.length();
        }
    }
    EXPECT_EQ(ruleEnd, row.rule ? row.dimFrom : -1) << "the rule stands right before the dimmed text";
    const QString text = document->toPlainText();
    for (int at = 0; at < text.size(); ++at) {
        if (text.at(at) == QLatin1Char('\n'))
            continue;
        QTextCursor cursor(document.get());
        cursor.setPosition(at + 1); // the format of the character before the cursor
        const bool dimmed =
            cursor.charFormat().foreground().color() == QColor(QLatin1String(ReleaseNotes::kDimmedColour));
        ASSERT_EQ(dimmed, row.dimFrom >= 0 && at >= row.dimFrom)
            << "at " << at << " of " << text.toStdString();
    }
}

// clang-format off
const NotesRow kNotesRows[] = {
    // "Version 1.5" at 11 is an old version's notes; at 10 it is the newest entry.
    {.name = "PositionElevenCounts", .body = "0123456789\nVersion 1.5 old", .dimFrom = 12},
    {.name = "PositionTenDoesNot", .body = "012345678\nVersion 1.5 old", .dimFrom = -1, .rule = false},
    // The first one, within a line: the line is split for the rule.
    {.name = "FirstOccurrenceSplitsItsLine", .body = "Version 1.6 fixes Version 1.5\nVersion 1.5\nOld", .dimFrom = 20},
    {.name = "SameVersionDimsWithoutRule", .body = "Preface text\nVersion 1.5\nOld", .dimFrom = 13, .rule = false, .available = "1.5"},
    // The file's name when the type says nothing; positions are the text's, not the source's.
    {.name = "HtmlByName", .body = "<h1>Version 1.6</h1><p>New <b>bold</b></p><h2>Version 1.5</h2><p>Old</p>", .dimFrom = 22, .contentType = "application/octet-stream", .fileName = "notes.HTML", .format = ReleaseNotes::Format::Html},
    // The type wins over the file's name, and over RTF bytes.
    {.name = "MarkdownByType", .body = "# Version 1.6\n\nNew\n\n# Version 1.5\n\nOld\n", .dimFrom = 17, .contentType = "text/markdown", .format = ReleaseNotes::Format::Markdown},
    {.name = "TypeBeatsRtfBytes", .body = "{\\rtf1 Hi}", .dimFrom = -1, .rule = false, .contentType = "text/html; charset=utf-8", .format = ReleaseNotes::Format::Html},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, NotesView, testing::ValuesIn(kNotesRows), test::RowName());

// ---- RTF notes reduced to their text ----------------------------------------------------------

struct RtfRow
{
    const char *name;
    QByteArray rtf;
    const char *text; // UTF-8
};

class RtfReduction : public testing::TestWithParam<RtfRow>
{
};

TEST_P(RtfReduction, KeepsOnlyTheText)
{
    const RtfRow &row = GetParam();
    EXPECT_EQ(RtfPlainText::fromRtf(row.rtf), QString::fromUtf8(row.text));
}

// "b" in a group `depth` levels deep.
QByteArray nested(int depth)
{
    return "{\\rtf1 a" + QByteArray(depth - 1, '{') + "b" + QByteArray(depth - 1, '}') + "c}";
}

// clang-format off
const RtfRow kRtfRows[] = {
    // What a word processor writes: tables, the generator, formatting words, their delimiting
    // spaces and raw line ends left out; paragraphs kept.
    {.name = "TypicalDocument", .rtf = "{\\rtf1\\ansi\\ansicpg1252\\cocoartf2639\n{\\fonttbl\\f0\\fswiss\\fcharset0 Helvetica;}\n" "{\\colortbl;\\red255\\green255\\blue255;}\n{\\*\\expandedcolortbl;;}\n" "\\pard\\tx566\\pardirnatural\\partightenfactor0\n\n\\f0\\b\\fs24 \\cf0 Version 1.6\\\n" "\\b0 Faster keys.\\par\n}", .text = "Version 1.6\nFaster keys.\n"},
    {.name = "EscapedSymbols",        .rtf = "{\\rtf1 a\\{b\\}c\\\\d}",             .text = "a{b}c\\d"},
    {.name = "NonBreakingSymbols",    .rtf = "{\\rtf1 a\\~b\\-c\\_d}",              .text = "a\xc2\xa0" "bc\xe2\x80\x91" "d"},
    {.name = "HexEscapeCp1252",       .rtf = "{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94}", .text = "caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"},
    {.name = "UnicodeWithFallback",   .rtf = "{\\rtf1 \\u8364?x}",                  .text = "\xe2\x82\xacx"},
    {.name = "UnicodeUc2HexFallback", .rtf = "{\\rtf1\\uc2 \\u233\\'65\\'65x}",     .text = "\xc3\xa9x"},
    // Negative values stand for the units above 0x7FFF; with "\uc0" nothing is skipped after them.
    {.name = "UnicodeSurrogatePair",  .rtf = "{\\rtf1\\uc0 \\u-10179\\u-8704 !}",   .text = "\xf0\x9f\x98\x80!"},
    {.name = "UcScopedToGroup",       .rtf = "{\\rtf1 {\\uc0 \\u233}\\u233?}",      .text = "\xc3\xa9\xc3\xa9"},
    {.name = "StarDestinationSkipped", .rtf = "{\\rtf1 a{\\*\\unknown secret}b}",   .text = "ab"},
    {.name = "FieldShowsResultOnly",  .rtf = "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"https://x\"}}{\\fldrslt the site}}.}", .text = "see the site."},
    {.name = "BinarySkipped",         .rtf = "{\\rtf1 a\\bin3 {}}b}",               .text = "ab"},
    // The deepest group read keeps its text; one level deeper it is left out, and the text around stays.
    {.name = "NestedToTheLimit",      .rtf = nested(RtfPlainText::kMaxDepth),       .text = "abc"},
    {.name = "NestedBeyondTheLimit",  .rtf = nested(RtfPlainText::kMaxDepth + 1),   .text = "ac"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, RtfReduction, testing::ValuesIn(kRtfRows), test::RowName());

} // namespace
