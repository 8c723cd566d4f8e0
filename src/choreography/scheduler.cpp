// What the character does on its own: the opening, and a random performance about every two
// minutes while random mode is on.
#include "lifecycle/zinna_form.h"

namespace zinna {

namespace {

constexpr basic::Integer kTicksBetweenPerformances = 120;  // a performance starts when the count passes this

}  // namespace

void ZinnaForm::PlayOpening() {
    FlightPlan plan = RightwardFlightPlan();
    FlyRightAcross(plan.StartX, plan.StartY, plan.EndX, plan.EndY, plan.Steps);
    PerformDance();
    PerformKiss();
}

void ZinnaForm::Timer1_Timer() {
    if (bRandom == basic::True) iTickCount = basic::ToInteger(std::int64_t{iTickCount} + 1);
    if (iTickCount <= kTicksBetweenPerformances) return;
    iTickCount = 0;

    int choice = static_cast<int>(basic::Int(static_cast<double>(toolkit_.Rnd()) * 5));
    switch (choice) {
        case 0:
            PerformDance();
            break;
        case 1: {
            FlightPlan plan = RightwardFlightPlan();
            FlyRightAcross(plan.StartX, plan.StartY, plan.EndX, plan.EndY, plan.Steps);
            break;
        }
        case 2: {
            FlightPlan plan = LeftwardFlightPlan();
            FlyLeftAcross(plan.StartX, plan.StartY, plan.EndX, plan.EndY, plan.Steps);
            break;
        }
        case 3:
            PerformKiss();
            break;
        case 4:
            PerformLongDance();
            break;
    }
}

std::int64_t ZinnaForm::TicksThatOnlyCount() const {
    // Read with the same tests as Timer1_Timer: a count past the threshold starts a performance on
    // the next tick whatever the mode.
    if (iTickCount > kTicksBetweenPerformances) return 0;
    if (bRandom != basic::True) return TimerEvents::kEveryTickOnlyCounts;
    return kTicksBetweenPerformances - iTickCount;
}

}  // namespace zinna
