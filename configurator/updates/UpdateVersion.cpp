#include "UpdateVersion.h"

#include <charconv>
#include <cmath>
#include <string>

namespace brevona {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The leading number as text ("" when there is none), in the C locale's form.
std::string leadingNumber(const QString &version)
{
    const QByteArray text = version.toLatin1();
    qsizetype at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
        ++at;
    const qsizetype start = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    qsizetype digits = 0;
    while (at < text.size() && isDigit(text[at])) {
        ++at;
        ++digits;
    }
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && isDigit(text[at])) {
            ++at;
            ++digits;
        }
    }
    if (digits == 0)
        return {};
    qsizetype end = at;
    // An exponent counts only when digits follow it: "2e" is the number 2 and a letter.
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        qsizetype exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        if (exponent < text.size() && isDigit(text[exponent])) {
            while (exponent < text.size() && isDigit(text[exponent]))
                ++exponent;
            end = exponent;
        }
    }
    std::string number(text.constData() + start, static_cast<size_t>(end - start));
    // from_chars takes no leading plus.
    if (!number.empty() && number.front() == '+')
        number.erase(0, 1);
    return number;
}

} // namespace

float UpdateVersion::numericValue(const QString &version)
{
    const std::string number = leadingNumber(version);
    if (number.empty())
        return 0;
    float value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return 0;
    return value;
}

bool UpdateVersion::isNumeric(const QString &version)
{
    return !leadingNumber(version).empty();
}

bool UpdateVersion::isNewer(const QString &available, const QString &installed)
{
    return numericValue(available) > numericValue(installed);
}

} // namespace brevona
