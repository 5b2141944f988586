#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

// How values appear in test names, listings and failure messages. Rows of data-driven tables are
// structs with a `name` (declared in the test file's unnamed namespace): they print as that name,
// and RowName gives GoogleTest a stable test name from it, so that no test name carries a pointer
// value or a byte dump that changes from one build to the next:
//     INSTANTIATE_TEST_SUITE_P(Rows, SomeTest, testing::ValuesIn(kRows), brevona::test::RowName());

namespace brevona::test {

// The text of a row's name, whatever string type it has.
template<typename Row> std::string nameOf(const Row &row)
{
    using Name = std::decay_t<decltype(row.name)>;
    if constexpr (std::is_same_v<Name, QString>)
        return row.name.toStdString();
    else
        return std::string(row.name);
}

// `text` as a test name: letters, digits and underscores, never empty.
std::string identifier(std::string_view text);

template<typename Row>
concept NamedRow = requires(const Row &row)
{
    row.name;
};

struct RowName
{
    template<typename Row> std::string operator()(const testing::TestParamInfo<Row> &info) const
    {
        return identifier(nameOf(info.param));
    }
};

// Canonical text of a property-list value (as PythonPlist writes it).
std::string printable(const QVariant &value);

} // namespace brevona::test

namespace {

template<brevona::test::NamedRow Row> void PrintTo(const Row &row, std::ostream *out)
{
    *out << brevona::test::nameOf(row);
}

} // namespace

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << text.toStdString();
}

inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << bytes.toHex(' ').toStdString();
}

inline void PrintTo(const QVariant &value, std::ostream *out)
{
    *out << brevona::test::printable(value);
}
