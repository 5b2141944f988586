#include "KeyInjector.h"

#include "linux/X11KeyInjector.h"

namespace brevona {

std::unique_ptr<KeyInjector> KeyInjector::create(const QString &display)
{
    return std::make_unique<X11KeyInjector>(display);
}

} // namespace brevona
