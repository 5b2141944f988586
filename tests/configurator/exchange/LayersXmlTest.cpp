// "Layers.xml": condition elements to records and back, and the documents that are refused.
#include <gtest/gtest.h>

#include "LayersXml.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

using Condition = LayersXml::Condition;

struct ParseRow
{
    const char *name;
    Condition element;
    QVariant record; // invalid: refused; a null string: dropped without a word
};

QVariant record(const QString &type, const QVariantMap &settings)
{
    return QVariantMap{{"Type", "brevona.condition." + type}, {"Settings", settings}};
}

// clang-format off
const ParseRow kParseRows[] = {
    {"application_with_predicate", {"application", "org.gimp.GIMP", "isRunning"}, record("application", {{"Application", "org.gimp.GIMP"}, {"Predicate", "isRunning"}})},
    {"application_predicate_defaults_to_isActive", {"application", "org.gimp.GIMP", {}}, record("application", {{"Application", "org.gimp.GIMP"}, {"Predicate", "isActive"}})},
    {"application_without_value_is_invalid", {"application", {}, "isActive"}, QVariant()},
    {"modifier_keys_kept_as_text", {"modifier", "Shift|Option", {}}, record("modifier", {{"Keys", "Shift|Option"}})},
    {"modifier_without_value_is_invalid", {"modifier", {}, {}}, QVariant()},
    {"language_number_becomes_a_number", {"language", "1033", {}}, record("language", {{"LanguageID", 1033}, {"Predicate", "isActive"}})},
    {"language_with_a_dot_stays_text", {"language", "org.kbd.us", "isNotActive"}, record("language", {{"LanguageID", "org.kbd.us"}, {"Predicate", "isNotActive"}})},
    {"language_not_a_number_is_invalid", {"language", "us", {}}, QVariant()},
    {"capslock_yes_any_case_is_on", {"capslock", "YeS", {}}, record("capslock", {{"State", true}})},
    {"capslock_true_is_on", {"capslock", "True", {}}, record("capslock", {{"State", true}})},
    {"capslock_1_is_on", {"capslock", "1", {}}, record("capslock", {{"State", true}})},
    {"capslock_no_is_off", {"capslock", "no", {}}, record("capslock", {{"State", false}})},
    {"capslock_without_value_is_off", {"capslock", {}, {}}, record("capslock", {{"State", false}})},
    {"idle_is_not_understood", {"idle", "30", {}}, QString()},
};
// clang-format on

class ParseCondition : public testing::TestWithParam<ParseRow>
{
};

TEST_P(ParseCondition, FollowsTheRules)
{
    const ParseRow &row = GetParam();
    const Result<QVariantMap> parsed = LayersXml::parseCondition(row.element);
    if (!row.record.isValid()) {
        ASSERT_FALSE(parsed);
        EXPECT_FALSE(parsed.error().isEmpty()) << "an invalid element is said to be invalid";
    } else if (row.record.typeId() == QMetaType::QString) {
        ASSERT_FALSE(parsed);
        EXPECT_TRUE(parsed.error().isEmpty()) << parsed.error().toStdString();
    } else {
        ASSERT_TRUE(parsed) << parsed.error().toStdString();
        EXPECT_EQ(QVariant(*parsed), row.record) << printable(*parsed) << " vs " << printable(row.record);
        // The number stays a number and the text stays text, whatever compares equal.
        const QVariant id = parsed->value("Settings").toMap().value("LanguageID");
        const QVariant wanted = row.record.toMap().value("Settings").toMap().value("LanguageID");
        EXPECT_EQ(id.typeId(), wanted.typeId());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseCondition, testing::ValuesIn(kParseRows), RowName());

struct ElementRow
{
    const char *name;
    QVariantMap record;
    Condition element;
};

// clang-format off
const ElementRow kElementRows[] = {
    {"application", record("application", {{"Application", "org.gimp.GIMP"}, {"Predicate", "isActive"}}).toMap(), {"application", "org.gimp.GIMP", "isActive"}},
    {"modifier_has_no_predicate", record("modifier", {{"Keys", "Control|Shift"}}).toMap(), {"modifier", "Control|Shift", {}}},
    {"language_in_decimal", record("language", {{"LanguageID", 252}}).toMap(), {"language", "252", {}}},
    {"capslock_as_1_or_0", record("capslock", {{"State", false}}).toMap(), {"capslock", "0", {}}},
    {"other_type_gives_its_other_setting", record("idle", {{"Time", 30}}).toMap(), {"idle", "30", {}}},
    {"other_type_without_settings_has_no_value", record("keyboard", {}).toMap(), {"keyboard", {}, {}}},
};
// clang-format on

class ElementForCondition : public testing::TestWithParam<ElementRow>
{
};

TEST_P(ElementForCondition, WritesTypeValueAndPredicate)
{
    EXPECT_EQ(LayersXml::xmlElementForCondition(GetParam().record), GetParam().element);
}

INSTANTIATE_TEST_SUITE_P(Rows, ElementForCondition, testing::ValuesIn(kElementRows), RowName());

TEST(LayersXml, WrittenDocumentReadsBackAsWritten)
{
    const QList<LayersXml::Layer> layers{
        {"Drawing & <painting>",
         "000.tiff",
         {{"application", "org.gimp.GIMP", "isActive"}, {"capslock", "1", {}}},
         {"App0", "A"}},
        {"", "001.tiff", {}, {}},
    };
    const QByteArray document = LayersXml::write(layers);
    EXPECT_TRUE(document.contains("xmlns:pc=\"http://www.kettlewood.com/xmlns/pc\""));
    EXPECT_TRUE(document.contains("xmlns:mac=\"http://www.kettlewood.com/xmlns/mac\""));
    EXPECT_TRUE(document.contains("<mac:condition type=\"application\""));
    const auto read = LayersXml::read(document);
    ASSERT_TRUE(read) << read.error().toStdString();
    EXPECT_EQ(*read, layers);
}

struct DocumentRow
{
    const char *name;
    QByteArray document;
    const char *error; // empty: read
};

const QByteArray kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

QByteArray manyLayers(int count)
{
    QByteArray document = kHeader + "<layers>";
    for (int i = 0; i < count; ++i)
        document += "<layer name=\"x\" image=\"000.tiff\"/>";
    return document + "</layers>";
}

// Entities behind a document type inside an archive: the Hostile rows of LayerArchiveTest.
// clang-format off
const DocumentRow kDocumentRows[] = {
    {"external_entity", kHeader + "<!DOCTYPE layers SYSTEM \"file:///etc/passwd\"><layers/>", "document type"},
    {"undeclared_entity", kHeader + "<layers><layer name=\"&secret;\" image=\"000.tiff\"/></layers>", "Error:"},
    {"another_root", kHeader + "<plist><layer/></plist>", "root element"},
    {"too_many_layers", manyLayers(129), "more than 128 layers"},
    {"as_many_layers_as_allowed", manyLayers(128), ""},
    {"prefix_bound_elsewhere_still_a_condition", kHeader + "<layers xmlns:m=\"urn:other/xmlns/mac\"><layer name=\"x\" image=\"000.tiff\"><m:condition type=\"capslock\" value=\"1\"/></layer></layers>", ""},
};
// clang-format on

class Documents : public testing::TestWithParam<DocumentRow>
{
};

TEST_P(Documents, AreReadOrRefused)
{
    const DocumentRow &row = GetParam();
    const auto read = LayersXml::read(row.document);
    if (QByteArray(row.error).isEmpty()) {
        ASSERT_TRUE(read) << read.error().toStdString();
        EXPECT_FALSE(read->isEmpty());
        for (const auto &layer : *read)
            EXPECT_EQ(layer.conditions.size(), row.document.count("condition")) << "one condition each";
    } else {
        ASSERT_FALSE(read);
        EXPECT_TRUE(read.error().contains(row.error)) << read.error().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Documents, testing::ValuesIn(kDocumentRows), RowName());

} // namespace
} // namespace brevona::test
