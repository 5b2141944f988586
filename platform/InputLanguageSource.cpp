#include "InputLanguageSource.h"

#include "DisplaySession.h"
#include "WaylandBackends.h"
#include "linux/X11LanguageSource.h"

namespace brevona {

namespace {

InputLanguageSource *g_installed = nullptr;

} // namespace

InputLanguageSource::~InputLanguageSource() = default;

QString InputLanguageSource::layoutName(const QString &layout, const QString &variant)
{
    const QString base = layout.trimmed();
    const QString flavour = variant.trimmed();
    return flavour.isEmpty() ? base : base + QLatin1Char('(') + flavour + QLatin1Char(')');
}

std::optional<QString> InputLanguageSource::currentLayout()
{
    const std::optional<QStringList> names = layouts();
    if (!names)
        return std::nullopt;
    const std::optional<int> index = currentIndex();
    if (!index || *index < 0 || *index >= names->size())
        return std::nullopt;
    return names->at(*index);
}

InputLanguageSource &InputLanguageSource::instance()
{
    if (g_installed)
        return *g_installed;
    // Never destroyed: the connection must not be torn down after the event loop is gone. Under
    // Wayland the compositor's backend answers; X11 sees only Xwayland's clients there.
    static InputLanguageSource *session = DisplaySession::current() == DisplaySession::Kind::Wayland
                                              ? WaylandBackends::createLanguageSource()
                                              : static_cast<InputLanguageSource *>(new X11LanguageSource());
    return *session;
}

void InputLanguageSource::setInstance(InputLanguageSource *source)
{
    g_installed = source;
}

} // namespace brevona
