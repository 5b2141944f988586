#include <gtest/gtest.h>

#include "RtfPlainText.h"
#include "TestPrinters.h"

using namespace brevona;

namespace {

struct RtfRow
{
    const char *name;
    const char *rtf;
    const char *text; // UTF-8
};

class RtfReduction : public testing::TestWithParam<RtfRow>
{
};

TEST_P(RtfReduction, KeepsOnlyTheText)
{
    const RtfRow &row = GetParam();
    EXPECT_EQ(RtfPlainText::fromRtf(QByteArray(row.rtf)), QString::fromUtf8(row.text));
}

// clang-format off
const RtfRow kRtfRows[] = {
    // What a word processor writes: tables and the generator left out, paragraphs kept.
    {.name = "TypicalDocument", .rtf = "{\\rtf1\\ansi\\ansicpg1252\\cocoartf2639\n{\\fonttbl\\f0\\fswiss\\fcharset0 Helvetica;}\n" "{\\colortbl;\\red255\\green255\\blue255;}\n{\\*\\expandedcolortbl;;}\n" "\\pard\\tx566\\pardirnatural\\partightenfactor0\n\n\\f0\\b\\fs24 \\cf0 Version 1.6\\\n" "\\b0 Faster keys.\\par\n}", .text = "Version 1.6\nFaster keys.\n"},
    {.name = "DelimiterSpaceEaten",   .rtf = "{\\rtf1 \\b bold\\b0  plain}",       .text = "bold plain"},
    {.name = "RawLineEndsIgnored",    .rtf = "{\\rtf1 one\r\ntwo}",                 .text = "onetwo"},
    {.name = "EscapedSymbols",        .rtf = "{\\rtf1 a\\{b\\}c\\\\d}",             .text = "a{b}c\\d"},
    {.name = "HexEscapeCp1252",       .rtf = "{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94}", .text = "caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"},
    {.name = "HexEscapeBroken",       .rtf = "{\\rtf1 a\\'zzb}",                    .text = "azzb"},
    {.name = "UnicodeWithFallback",   .rtf = "{\\rtf1 \\u8364?x}",                  .text = "\xe2\x82\xacx"},
    {.name = "UnicodeNegative",       .rtf = "{\\rtf1 \\u-3913?}",                  .text = "\xef\x82\xb7"},
    {.name = "UnicodeUc0",            .rtf = "{\\rtf1\\uc0 \\u233 x}",              .text = "\xc3\xa9x"},
    {.name = "UnicodeUc2HexFallback", .rtf = "{\\rtf1\\uc2 \\u233\\'65\\'65x}",     .text = "\xc3\xa9x"},
    {.name = "UnicodeSurrogatePair",  .rtf = "{\\rtf1\\uc0 \\u-10179\\u-8704 !}",   .text = "\xf0\x9f\x98\x80!"},
    {.name = "LoneSurrogateReplaced", .rtf = "{\\rtf1\\uc0 \\u-10179 !}",           .text = "\xef\xbf\xbd!"},
    {.name = "UcScopedToGroup",       .rtf = "{\\rtf1 {\\uc0 \\u233}\\u233?}",      .text = "\xc3\xa9\xc3\xa9"},
    {.name = "StarDestinationSkipped", .rtf = "{\\rtf1 a{\\*\\unknown secret}b}",   .text = "ab"},
    {.name = "FieldShowsResultOnly", .rtf = "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"https://x\"}}{\\fldrslt the site}}.}", .text = "see the site."},
    {.name = "BinarySkipped",         .rtf = "{\\rtf1 a\\bin3 {}}b}",               .text = "ab"},
    {.name = "SpecialWords", .rtf = "{\\rtf1 a\\tab b\\line c\\emdash d\\endash e\\bullet f\\lquote g\\rquote\\ldblquote h\\rdblquote}", .text = "a\tb\nc\xe2\x80\x94" "d\xe2\x80\x93" "e\xe2\x80\xa2" "f\xe2\x80\x98g\xe2\x80\x99\xe2\x80\x9ch\xe2\x80\x9d"},
    {.name = "NonBreakingSymbols",    .rtf = "{\\rtf1 a\\~b\\-c\\_d}",              .text = "a\xc2\xa0" "bc\xe2\x80\x91" "d"},
    {.name = "UnknownWordIgnored",    .rtf = "{\\rtf1 \\frobnicate42 x}",           .text = "x"},
    {.name = "ControlCharactersDropped", .rtf = "{\\rtf1 a\\'00b\\'07c\x01" "d}",   .text = "abcd"},
    {.name = "UnbalancedCloseIgnored", .rtf = "{\\rtf1 a}}b}",                      .text = "ab"},
    {.name = "UnclosedGroupKept",     .rtf = "{\\rtf1 a{\\b b",                     .text = "ab"},
    {.name = "TruncatedEscape",       .rtf = "{\\rtf1 a\\",                         .text = "a"},
    {.name = "HugeParameterBounded",  .rtf = "{\\rtf1 \\u99999999999999999 ?x}",    .text = "x"},
    {.name = "Empty",                 .rtf = "",                                    .text = ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, RtfReduction, testing::ValuesIn(kRtfRows), test::RowName());

TEST(RtfReduction, DeepNestingIsBoundedAndKeepsTheTextAround)
{
    QByteArray rtf = "{\\rtf1 before";
    rtf += QByteArray(100'000, '{') + "deep" + QByteArray(100'000, '}');
    rtf += "after}";
    EXPECT_EQ(RtfPlainText::fromRtf(rtf), QStringLiteral("beforeafter"));
}

TEST(RtfReduction, NestingUpToTheLimitKeepsItsText)
{
    QByteArray rtf = "{\\rtf1 ";
    rtf +=
        QByteArray(RtfPlainText::kMaxDepth - 1, '{') + "inner" + QByteArray(RtfPlainText::kMaxDepth - 1, '}');
    rtf += "}";
    EXPECT_EQ(RtfPlainText::fromRtf(rtf), QStringLiteral("inner"));
}

} // namespace
