#include "TestPrinters.h"

#include "PythonPlist.h"

namespace brevona::test {

std::string identifier(std::string_view text)
{
    std::string name;
    for (const char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        name += plain ? c : '_';
    }
    return name.empty() ? std::string("_") : name;
}

std::string printable(const QVariant &value)
{
    return PythonPlist::canonical(value).toStdString();
}

} // namespace brevona::test
