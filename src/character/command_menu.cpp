// Building the command menu and dispatching the user's choices.
#include "character/command_menu.h"

#include "lifecycle/zinna_form.h"

namespace zinna {

using basic::False;
using basic::True;

void ZinnaForm::AddMenuCommands() {
    for (const MenuCommand& command : kMenuCommands) Character().CommandsAdd(command.name, command.caption);
}

void ZinnaForm::Agent1_Command(const std::string& name) {
    // Exact, case-sensitive comparisons in this order; an unknown name is ignored.
    if (name == "FlyRight") {
        FlightPlan plan = RightwardFlightPlan();
        FlyRightAcross(plan.StartX, plan.StartY, plan.EndX, plan.EndY, plan.Steps);
    } else if (name == "FlyLeft") {
        FlightPlan plan = LeftwardFlightPlan();
        FlyLeftAcross(plan.StartX, plan.StartY, plan.EndX, plan.EndY, plan.Steps);
    } else if (name == "Kiss") {
        PerformKiss();
    } else if (name == "Dance") {
        PerformDance();
    } else if (name == "Lantern Hall") {
        LaunchBrowser2();
    } else if (name == "Quit") {
        RestoreAndQuit();
    } else if (name == "EasterEgg1" || name == "EasterEgg2") {
        iEggCount = basic::ToLong(std::int64_t{iEggCount} + 1);
    } else if (name == "EasterEgg3") {
        if (iEggCount > 1) PerformCredits();
    } else if (name == "Random On") {
        bRandom = True;
    } else if (name == "Random Off") {
        bRandom = False;
    } else if (name == kSoundToggleCommand) {
        ToggleSound();
    }
}

void ZinnaForm::ToggleSound() {
    AgentCharacter& character = Character();
    character.SetSoundEffectsOn(character.SoundEffectsOn() == True ? False : True);
}

}  // namespace zinna
