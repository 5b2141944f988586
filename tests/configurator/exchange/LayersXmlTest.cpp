// "Layers.xml": condition elements to records and back, and the limits of the documents read.
#include <optional>

#include <gtest/gtest.h>

#include "LayersXml.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

using Condition = LayersXml::Condition;

struct ConditionRow
{
    const char *name;
    Condition element;
    QVariant record;                       // invalid: refused; a null string: dropped without a word
    std::optional<Condition> written = {}; // what the record writes back, when not `element`
};

QVariant record(const QString &type, const QVariantMap &settings)
{
    return QVariantMap{{"Type", "brevona.condition." + type}, {"Settings", settings}};
}

// clang-format off
const ConditionRow kConditionRows[] = {
    {.name = "application_with_predicate", .element = {"application", "org.gimp.GIMP", "isRunning"}, .record = record("application", {{"Application", "org.gimp.GIMP"}, {"Predicate", "isRunning"}})},
    {.name = "application_predicate_defaults_to_isActive", .element = {"application", "org.gimp.GIMP", {}}, .record = record("application", {{"Application", "org.gimp.GIMP"}, {"Predicate", "isActive"}}), .written = Condition{"application", "org.gimp.GIMP", "isActive"}},
    {.name = "application_without_value_is_invalid", .element = {"application", {}, "isActive"}, .record = QVariant()},
    {.name = "modifier_keys_kept_as_text_without_predicate", .element = {"modifier", "Shift|Option", {}}, .record = record("modifier", {{"Keys", "Shift|Option"}})},
    {.name = "modifier_without_value_is_invalid", .element = {"modifier", {}, {}}, .record = QVariant()},
    {.name = "language_number_becomes_a_number", .element = {"language", "1033", {}}, .record = record("language", {{"LanguageID", 1033}, {"Predicate", "isActive"}}), .written = Condition{"language", "1033", "isActive"}},
    {.name = "language_with_a_dot_stays_text", .element = {"language", "org.kbd.us", "isNotActive"}, .record = record("language", {{"LanguageID", "org.kbd.us"}, {"Predicate", "isNotActive"}})},
    {.name = "capslock_yes_any_case_is_on_and_written_1", .element = {"capslock", "YeS", {}}, .record = record("capslock", {{"State", true}}), .written = Condition{"capslock", "1", {}}},
    {.name = "capslock_without_value_is_off_and_written_0", .element = {"capslock", {}, {}}, .record = record("capslock", {{"State", false}}), .written = Condition{"capslock", "0", {}}},
    {.name = "idle_is_not_understood", .element = {"idle", "30", {}}, .record = QString()},
};
// clang-format on

class Conditions : public testing::TestWithParam<ConditionRow>
{
};

// Read, written back, and read again.
TEST_P(Conditions, ReadAndWriteBack)
{
    const ConditionRow &row = GetParam();
    const Result<QVariantMap> parsed = LayersXml::parseCondition(row.element);
    if (!row.record.isValid()) {
        ASSERT_FALSE(parsed);
        EXPECT_FALSE(parsed.error().isEmpty()) << "an invalid element is said to be invalid";
        return;
    }
    if (row.record.typeId() == QMetaType::QString) {
        ASSERT_FALSE(parsed);
        EXPECT_TRUE(parsed.error().isEmpty()) << parsed.error().toStdString();
        return;
    }
    ASSERT_TRUE(parsed) << parsed.error().toStdString();
    EXPECT_EQ(QVariant(*parsed), row.record) << printable(*parsed) << " vs " << printable(row.record);
    // The number stays a number and the text stays text, whatever compares equal.
    const QVariant id = parsed->value("Settings").toMap().value("LanguageID");
    EXPECT_EQ(id.typeId(), row.record.toMap().value("Settings").toMap().value("LanguageID").typeId());
    const Condition written = LayersXml::xmlElementForCondition(*parsed);
    EXPECT_EQ(written, row.written.value_or(row.element));
    const Result<QVariantMap> again = LayersXml::parseCondition(written);
    ASSERT_TRUE(again) << again.error().toStdString();
    EXPECT_EQ(*again, *parsed);
}

INSTANTIATE_TEST_SUITE_P(Rows, Conditions, testing::ValuesIn(kConditionRows), RowName());

// A type the format does not know writes its predicate and its first other setting, if any.
TEST(LayersXml, OtherTypesWriteTheirFirstOtherSetting)
{
    const QVariantMap idle = record("idle", {{"Predicate", "isActive"}, {"Time", 30}}).toMap();
    EXPECT_EQ(LayersXml::xmlElementForCondition(idle), (Condition{"idle", "30", "isActive"}));
    EXPECT_EQ(LayersXml::xmlElementForCondition(record("keyboard", {}).toMap()),
              (Condition{"keyboard", {}, {}}));
}

QByteArray layersDocument(int count, const QByteArray &inside = {}, const QByteArray &namespaces = {})
{
    QByteArray document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<layers" + namespaces + ">";
    for (int i = 0; i < count; ++i)
        document += "<layer name=\"x\" image=\"000.tiff\">" + inside + "</layer>";
    return document + "</layers>";
}

// Entities and document types are refused inside an archive: the Hostile rows of LayerArchiveTest.
TEST(LayersXml, AsManyLayersAsAllowedAndConditionsOfAnyPrefix)
{
    EXPECT_TRUE(LayersXml::read(layersDocument(128)));
    const auto tooMany = LayersXml::read(layersDocument(129));
    ASSERT_FALSE(tooMany);
    EXPECT_TRUE(tooMany.error().contains("more than 128 layers")) << tooMany.error().toStdString();
    // A writer that binds another prefix to the namespace still writes conditions.
    const auto other = LayersXml::read(layersDocument(1, "<m:condition type=\"capslock\" value=\"1\"/>",
                                                      " xmlns:m=\"urn:other/xmlns/mac\""));
    ASSERT_TRUE(other) << other.error().toStdString();
    EXPECT_EQ(other->at(0).conditions, QList<Condition>({{"capslock", "1", {}}}));
}

} // namespace
} // namespace brevona::test
