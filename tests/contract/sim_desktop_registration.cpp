// The simulated desktop under the ZinnaModule contract, with its default desktop (a taskbar, the
// user's wallpaper values, a teal desktop).
#include "contract/zinna_module_contract.h"

#include "platform/sim/sim_desktop.h"
#include "platform/sim/trace.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

namespace {

struct SimulatedDesktop {
    zinna::sim::VirtualClock clock;
    zinna::sim::Trace trace{clock};
    zinna::sim::SimDesktop desktop{zinna::sim::SimDesktopConfig{}, trace};
};

}  // namespace

ZINNA_MODULE_CONTRACT(zinna::contract::ZinnaModuleRegistration{
    "the simulated desktop",
    [] {
        auto world = std::make_shared<SimulatedDesktop>();
        world->desktop.CreateKey(std::string("HKEY_CURRENT_USER\\") + zinna::contract::kContractKey);
        return std::shared_ptr<zinna::ZinnaModule>(world, &world->desktop);
    },
    {{"read-only-key", "access rights are not simulated: the program writes only through keys it opened to write"}},
})
