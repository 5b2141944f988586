#include <memory>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "ReleaseNotes.h"
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
    {.name = "NextMinor",             .available = "1.6",      .installed = "1.5",   .newer = true},
    {.name = "Same",                  .available = "1.5",      .installed = "1.5",   .newer = false},
    {.name = "SmallerDecimal",        .available = "1.45",     .installed = "1.5",   .newer = false},
    {.name = "TenIsNotNewerThanNine", .available = "1.10",     .installed = "1.9",   .newer = false},
    {.name = "ThirdPartIgnored",      .available = "1.5.3",    .installed = "1.5",   .newer = false},
    {.name = "LeadingSpace",          .available = "  1.6",    .installed = "1.5",   .newer = true},
    {.name = "NonNumericIsZero",      .available = "beta",     .installed = "0.1",   .newer = false},
    {.name = "Exponent",              .available = "1e1",      .installed = "9.5",   .newer = true},
    {.name = "BareExponentLetter",    .available = "2e",       .installed = "1.9",   .newer = true},
    {.name = "Negative",              .available = "-2",       .installed = "1",     .newer = false},
    {.name = "FloatPrecisionTies",    .available = "1.00000001", .installed = "1",   .newer = false},
    {.name = "TooLargeIsZero",        .available = "1e99",     .installed = "1",     .newer = false},
    {.name = "LeadingPoint",          .available = ".5",       .installed = "0.4",   .newer = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, VersionComparison, testing::ValuesIn(kVersionRows), test::RowName());

// ---- Release notes: the installed versions' notes are set apart and dimmed -------------------

struct DimRow
{
    const char *name;
    ReleaseNotes::Format format;
    const char *text;
    const char *installed;
    const char *available;
    // In the resulting document's text: where the dimmed text starts (-1: nothing dimmed), and
    // whether a rule stands just before it.
    int dimFrom;
    bool rule;
};

class NotesDimming : public testing::TestWithParam<DimRow>
{
};

bool isDimmed(QTextDocument &document, int position)
{
    QTextCursor cursor(&document);
    cursor.setPosition(position + 1); // the format of the character before the cursor
    return cursor.charFormat().foreground().color() == QColor(QLatin1String(ReleaseNotes::kDimmedColour));
}

TEST_P(NotesDimming, DimsFromTheInstalledVersion)
{
    const DimRow &row = GetParam();
    const ReleaseNotes notes(row.format, QString::fromUtf8(row.text));
    const std::unique_ptr<QTextDocument> document(
        notes.document(QString::fromUtf8(row.installed), QString::fromUtf8(row.available)));
    const QString text = document->toPlainText();
    int rules = 0;
    int ruleBlockEnd = -1;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) {
            ++rules;
            ruleBlockEnd = block.position() + block.length();
            EXPECT_TRUE(block.text().isEmpty()) << "the rule stands in a paragraph of its own";
        }
    }
    EXPECT_EQ(rules, row.rule ? 1 : 0);
    if (row.rule) {
        EXPECT_EQ(ruleBlockEnd, row.dimFrom) << "the rule stands right before the dimmed text";
    }
    const int textEnd = static_cast<int>(text.size());
    for (int at = 0; at < textEnd; ++at) {
        if (text.at(at) == QLatin1Char('\n') || text.at(at) == QChar::ParagraphSeparator)
            continue;
        const bool expected = row.dimFrom >= 0 && at >= row.dimFrom;
        ASSERT_EQ(isDimmed(*document, at), expected) << "at " << at << " of " << text.toStdString();
    }
}

// clang-format off
const DimRow kDimRows[] = {
    // "Version 1.5" starts at 14: a rule (its own paragraph) is inserted, and the text from there is grey.
    {.name = "OlderNotesDimmed", .format = ReleaseNotes::Format::PlainText, .text = "Version 1.6\nNew\nVersion 1.5\nOld", .installed = "1.5", .available = "1.6", .dimFrom = 17, .rule = true},
    {.name = "MidLineSplitsTheParagraph", .format = ReleaseNotes::Format::PlainText, .text = "New things. Version 1.5 old", .installed = "1.5", .available = "1.6", .dimFrom = 14, .rule = true},
    {.name = "PositionElevenCounts", .format = ReleaseNotes::Format::PlainText, .text = "0123456789\nVersion 1.5 old", .installed = "1.5", .available = "1.6", .dimFrom = 12, .rule = true},
    {.name = "PositionTenDoesNot", .format = ReleaseNotes::Format::PlainText, .text = "012345678\nVersion 1.5 old", .installed = "1.5", .available = "1.6", .dimFrom = -1, .rule = false},
    {.name = "NotFoundNothing", .format = ReleaseNotes::Format::PlainText, .text = "Version 1.6\nNew\nVersion 1.4\nOld", .installed = "1.5", .available = "1.6", .dimFrom = -1, .rule = false},
    {.name = "SameVersionDimsWithoutRule", .format = ReleaseNotes::Format::PlainText, .text = "Preface text\nVersion 1.5\nOld", .installed = "1.5", .available = "1.5", .dimFrom = 13, .rule = false},
    {.name = "FirstOccurrenceOnly", .format = ReleaseNotes::Format::PlainText, .text = "Version 1.6 fixes Version 1.5\nVersion 1.5\nOld", .installed = "1.5", .available = "1.6", .dimFrom = 20, .rule = true},
    {.name = "HtmlPositionsAreTextPositions", .format = ReleaseNotes::Format::Html, .text = "<h1>Version 1.6</h1><p>New <b>bold</b></p><h2>Version 1.5</h2><p>Old</p>", .installed = "1.5", .available = "1.6", .dimFrom = 22, .rule = true},
    {.name = "Markdown", .format = ReleaseNotes::Format::Markdown, .text = "# Version 1.6\n\nNew\n\n# Version 1.5\n\nOld\n", .installed = "1.5", .available = "1.6", .dimFrom = 17, .rule = true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, NotesDimming, testing::ValuesIn(kDimRows), test::RowName());

// ---- The format of the notes: the server's type, then the file's name, then the bytes ---------

struct FormatRow
{
    const char *name;
    const char *body;
    const char *contentType;
    const char *fileName;
    ReleaseNotes::Format format;
    const char *text;
};

class NotesFormat : public testing::TestWithParam<FormatRow>
{
};

TEST_P(NotesFormat, FollowsTheServer)
{
    const FormatRow &row = GetParam();
    const ReleaseNotes notes = ReleaseNotes::fromReply(
        QByteArray(row.body), QString::fromUtf8(row.contentType), QString::fromUtf8(row.fileName));
    EXPECT_EQ(notes.format(), row.format);
    EXPECT_EQ(notes.text(), QString::fromUtf8(row.text));
}

// clang-format off
const FormatRow kFormatRows[] = {
    {.name = "MarkdownByType", .body = "# Hi", .contentType = "text/markdown", .fileName = "description.rtf", .format = ReleaseNotes::Format::Markdown, .text = "# Hi"},
    {.name = "HtmlByName", .body = "<p>Hi</p>", .contentType = "application/octet-stream", .fileName = "notes.HTML", .format = ReleaseNotes::Format::Html, .text = "<p>Hi</p>"},
    {.name = "RtfReduced", .body = "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Hi\\par there}", .contentType = "text/rtf", .fileName = "description.rtf", .format = ReleaseNotes::Format::PlainText, .text = "Hi\nthere"},
    {.name = "RtfWithoutType", .body = "{\\rtf1 Hi}", .contentType = "application/octet-stream", .fileName = "description.rtf", .format = ReleaseNotes::Format::PlainText, .text = "Hi"},
    {.name = "TypeBeatsBytes", .body = "{\\rtf1 Hi}", .contentType = "text/html; charset=utf-8", .fileName = "description.rtf", .format = ReleaseNotes::Format::Html, .text = "{\\rtf1 Hi}"},
    {.name = "PlainText", .body = "Just text", .contentType = "text/plain", .fileName = "description.rtf", .format = ReleaseNotes::Format::PlainText, .text = "Just text"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, NotesFormat, testing::ValuesIn(kFormatRows), test::RowName());

// ---- The version list -------------------------------------------------------------------------

struct FilenameRow
{
    const char *name;
    const char *filename;
    bool plain;
};

class PackageFilename : public testing::TestWithParam<FilenameRow>
{
};

TEST_P(PackageFilename, OnlyPlainNamesReachTheAddress)
{
    const FilenameRow &row = GetParam();
    EXPECT_EQ(UpdateFeed::isPlainFilename(QString::fromUtf8(row.filename)), row.plain);
    const QByteArray list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                            "<key>Configurator</key><dict><key>Version</key><string>2.0</string>"
                            "<key>Filename</key><string>" +
                            QByteArray(row.filename).replace("&", "&amp;") +
                            "</string></dict></dict></plist>";
    const Result<UpdateFeed> feed = UpdateFeed::parse(list);
    EXPECT_EQ(feed.has_value(), row.plain) << feed.error().toStdString();
}

// clang-format off
const FilenameRow kFilenameRows[] = {
    {.name = "WithSpaces",     .filename = "Lumivox Software 2.0.tar.gz", .plain = true},
    {.name = "Parentheses",    .filename = "brevona (2.0)+1~rc.tgz", .plain = true},
    {.name = "Empty",          .filename = "", .plain = false},
    {.name = "Folder",         .filename = "old/brevona.tgz", .plain = false},
    {.name = "DotDotInside",   .filename = "a..b.tgz", .plain = false},
    {.name = "Hidden",         .filename = ".brevona.tgz", .plain = false},
    {.name = "LeadingSpace",   .filename = " brevona.tgz", .plain = false},
    {.name = "TooLong",        .filename = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.tgz", .plain = false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, PackageFilename, testing::ValuesIn(kFilenameRows), test::RowName());

struct FeedRow
{
    const char *name;
    const char *bytes;
    const char *error; // nullptr: read
    const char *version = "";
    const char *filename = "";
};

class VersionList : public testing::TestWithParam<FeedRow>
{
};

TEST_P(VersionList, ReadsOnlyTheConfiguratorEntry)
{
    const FeedRow &row = GetParam();
    const Result<UpdateFeed> feed = UpdateFeed::parse(QByteArray(row.bytes));
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

// clang-format off
const FeedRow kFeedRows[] = {
    {.name = "Full", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string><key>Filename</key><string>b.tgz</string><key>Other</key><integer>1</integer></dict><key>Driver</key><dict/></dict>"), .error = nullptr, .version = "1.6", .filename = "b.tgz"},
    {.name = "NoFilename", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string></dict></dict>"), .error = nullptr, .version = "1.6"},
    {.name = "NoConfigurator", .bytes = PLIST("<dict><key>Driver</key><dict/></dict>"), .error = nullptr},
    {.name = "VersionNotAString", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><real>1.6</real></dict></dict>"), .error = nullptr},
    {.name = "NotADictionary", .bytes = PLIST("<array/>"), .error = "the version list is not a dictionary"},
    {.name = "NotAPropertyList", .bytes = "Version=1.6", .error = "the version list is not a property list"},
    {.name = "Html", .bytes = "<!DOCTYPE html><html><body>Maintenance</body></html>", .error = "the server sent an HTML page, not a version list"},
    {.name = "FilenameNotAString", .bytes = PLIST("<dict><key>Configurator</key><dict><key>Version</key><string>1.6</string><key>Filename</key><integer>3</integer></dict></dict>"), .error = "the version list names a package that is not a plain file name"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, VersionList, testing::ValuesIn(kFeedRows), test::RowName());

} // namespace
