#include <gtest/gtest.h>

#include "TestPrinters.h"
#include "WaylandBackends.h"

using namespace brevona;

namespace {

using Backend = WaylandBackends::Backend;
using Service = WaylandBackends::Service;

struct SelectionRow
{
    const char *name;
    WaylandBackends::Environment environment;
    Backend compositor;
    // What serves the applications, the language, the idle time and the hot keys.
    Backend applications, language, idle, hotKeys;
};

class WaylandSelectionTest : public ::testing::TestWithParam<SelectionRow>
{
};

TEST_P(WaylandSelectionTest, PicksOneBackendPerService)
{
    const SelectionRow &row = GetParam();
    EXPECT_EQ(WaylandBackends::name(WaylandBackends::compositor(row.environment)),
              WaylandBackends::name(row.compositor));
    const std::pair<Service, Backend> expected[] = {{Service::Applications, row.applications},
                                                    {Service::Language, row.language},
                                                    {Service::IdleTime, row.idle},
                                                    {Service::HotKeys, row.hotKeys}};
    for (const auto &[service, backend] : expected)
        EXPECT_EQ(WaylandBackends::name(WaylandBackends::backendFor(service, row.environment)),
                  WaylandBackends::name(backend))
            << "service " << int(service);
}

constexpr Backend S = Backend::Sway, H = Backend::Hyprland, W = Backend::Wlroots, K = Backend::Kde,
                  G = Backend::Gnome, N = Backend::None;

// clang-format off
const SelectionRow kSelectionRows[] = {
    // Hyprland sets SWAYSOCK for sway's tools on some set-ups; its own signature wins.
    {"HyprlandBeforeSway", {.hyprlandSignature = "abc", .swaySocket = "/s.sock"}, H, H, H, W, H},
    {"SwayBeforeKde", {.swaySocket = "/s.sock", .currentDesktop = "KDE", .kwinOnBus = true}, S, S, S, W, S},
    {"KdeInAList", {.currentDesktop = "ubuntu:KDE", .kwinOnBus = true}, K, K, K, W, N},
    {"KdeWithoutKWinIsGeneric", {.currentDesktop = "KDE"}, W, W, N, W, N},
    // The Shell extension and Mutter tell; hot keys wait for the global-shortcuts portal.
    {"GnomeShellWhateverTheDesktopSays", {.currentDesktop = "ubuntu:GNOME", .gnomeShellOnBus = true}, G, G, G, G, N},
    {"KWinOnBusOutsideKdeIsNotKde", {.currentDesktop = "GNOME", .kwinOnBus = true, .gnomeShellOnBus = true}, G, G, G, G, N},
    {"AnyOtherCompositor", {.currentDesktop = "river"}, W, W, N, W, N},
    {"ForcedCaselessOverHyprland", {.forced = "Sway", .hyprlandSignature = "abc"}, S, S, S, W, S},
    {"ForcedNone", {.forced = "none", .swaySocket = "/s.sock"}, N, N, N, N, N},
    {"ForcedUnknownIsDetected", {.forced = "weston", .swaySocket = "/s.sock"}, S, S, S, W, S},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, WaylandSelectionTest, ::testing::ValuesIn(kSelectionRows),
                         brevona::test::RowName());

TEST(WaylandBackendNames, RoundTrip)
{
    for (const Backend backend : {S, H, Backend::Kde, Backend::Gnome, Backend::Wlroots, N})
        EXPECT_EQ(WaylandBackends::fromName(WaylandBackends::name(backend)), backend);
    EXPECT_FALSE(WaylandBackends::fromName(QStringLiteral("x11")));
}

} // namespace
