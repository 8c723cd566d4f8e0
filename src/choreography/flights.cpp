// The two flights across the screen and the plans that place them.
#include "choreography/animation_names.h"
#include "lifecycle/zinna_form.h"

#include <iterator>

namespace zinna {

namespace {

constexpr basic::Long kFlightSteps = 70;
constexpr basic::Integer kWaypointSpeed = 1000;

}  // namespace

FlightPlan ZinnaForm::RightwardFlightPlan() {
    AgentCharacter& character = Character();
    basic::Integer w = character.Width();
    double r1 = toolkit_.Rnd();
    double r2 = toolkit_.Rnd();
    basic::Integer h = character.Height();
    const double width = lScreenWidth;
    const double height = lScreenHeight;
    const double halfHeight = basic::IntDiv(lScreenHeight, 2);  // the height's half sets both ranges

    FlightPlan plan;
    plan.StartX = basic::ToInteger(-std::int64_t{w});
    plan.StartY = basic::CInt(height / 4 + halfHeight * r1 + 1);
    plan.EndX = basic::CInt(width / 4 + halfHeight * r2 + 1);
    plan.EndY = basic::ToInteger(-std::int64_t{h});
    plan.Steps = kFlightSteps;
    return plan;
}

FlightPlan ZinnaForm::LeftwardFlightPlan() {
    double r1 = toolkit_.Rnd();
    basic::Integer h = Character().Height();
    const double width = lScreenWidth;
    const double height = lScreenHeight;
    const double halfHeight = basic::IntDiv(lScreenHeight, 2);

    FlightPlan plan;
    plan.StartX = basic::ToInteger(basic::ToLong(std::int64_t{lScreenWidth} + 1));
    plan.StartY = basic::CInt(height / 3 + halfHeight * r1 + 1);
    plan.EndX = basic::CInt(width / 4);
    plan.EndY = basic::ToInteger(-std::int64_t{h});
    plan.Steps = kFlightSteps;
    return plan;
}

void ZinnaForm::FlyRightAcross(basic::Integer StartX, basic::Integer StartY, basic::Integer EndX, basic::Integer EndY,
                               basic::Long Steps) {
    FlyAcross({StartX, StartY, EndX, EndY, Steps}, kFlyRightCycle, static_cast<int>(std::size(kFlyRightCycle)));
}

void ZinnaForm::FlyLeftAcross(basic::Integer StartX, basic::Integer StartY, basic::Integer EndX, basic::Integer EndY,
                              basic::Long Steps) {
    FlyAcross({StartX, StartY, EndX, EndY, Steps}, kFlyLeftCycle, static_cast<int>(std::size(kFlyLeftCycle)));
}

void ZinnaForm::FlyAcross(const FlightPlan& plan, const char* const* cycle, int cycleLength) {
    AgentCharacter& character = Character();
    character.Hide();
    character.MoveTo(plan.StartX, plan.StartY, std::nullopt);

    basic::Integer dx = basic::ToInteger(std::int64_t{plan.EndX} - plan.StartX);
    basic::Integer dy = basic::ToInteger(std::int64_t{plan.EndY} - plan.StartY);
    basic::Integer sx = basic::ToInteger(basic::IntDiv(dx, plan.Steps));
    basic::Integer sy = basic::ToInteger(basic::IntDiv(dy, plan.Steps));

    character.Show();
    int k = 0;
    for (basic::Long i = 0; i <= plan.Steps; ++i) {
        basic::Integer x = basic::ToInteger(basic::ToLong(plan.StartX + std::int64_t{i} * sx));
        basic::Integer y = basic::ToInteger(basic::ToLong(plan.StartY + std::int64_t{i} * sy));
        character.MoveTo(x, y, kWaypointSpeed);
        character.Play(cycle[k]);
        k = (k + 1) % cycleLength;
    }
    // The truncated steps fall short of the end point; the last move covers the rest.
    character.MoveTo(plan.EndX, plan.EndY, std::nullopt);
}

}  // namespace zinna
