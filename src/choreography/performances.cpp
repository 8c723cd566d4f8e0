// The four performances: the character vanishes, reappears at a random column standing on the
// taskbar, and plays its sequence there.
#include "choreography/animation_names.h"
#include "lifecycle/screen_metrics.h"
#include "lifecycle/zinna_form.h"

namespace zinna {

namespace {

// One line of exactly 119 characters, spoken in the balloon by the credits.
constexpr char kCreditsText[] =
    "Lantern Hall (c) 2026 Glintwick Games. Zinna companion by Emberlane Studio, info@emberlane.example, made for "
    "Glintwick.";
static_assert(sizeof(kCreditsText) - 1 == 119);

constexpr basic::Long kCreditsBalloonFontSize = 8;

}  // namespace

void ZinnaForm::HideAndPlaceOnTaskbar(bool drawBeforeSize, bool setCreditsFont) {
    AgentCharacter& character = Character();
    character.Hide();

    // The kiss draws its number before reading the sizes, the others between width and height;
    // the order matters only for which control call fails first.
    float r = 0;
    if (drawBeforeSize) r = toolkit_.Rnd();
    basic::Long screenWidth = ScreenWidthPixels(toolkit_);
    basic::Integer w = character.Width();
    if (!drawBeforeSize) r = toolkit_.Rnd();
    basic::Integer h = character.Height();

    basic::Long span = basic::ToLong(std::int64_t{screenWidth} - w);
    basic::Integer x = basic::CInt(basic::Int(static_cast<double>(r) * span + 1));
    basic::Integer y = basic::ToInteger(basic::ToLong(std::int64_t{rcStartBar.Top} - h));

    character.MoveTo(x, y, std::nullopt);
    if (setCreditsFont) character.SetBalloonFontSize(kCreditsBalloonFontSize);
    character.Show();
}

void ZinnaForm::PerformKiss() {
    HideAndPlaceOnTaskbar(true, false);
    Character().Play(kAnimKiss);
}

void ZinnaForm::PerformDance() {
    HideAndPlaceOnTaskbar(false, false);
    AgentCharacter& character = Character();
    character.Play(kAnimDanceFadeIn);
    character.Play(kAnimDance);
    character.Play(kAnimDance);
    character.Play(kAnimDanceFadeOut);
}

void ZinnaForm::PerformLongDance() {
    HideAndPlaceOnTaskbar(false, false);
    AgentCharacter& character = Character();
    character.Play(kAnimDanceFadeIn);
    for (int i = 0; i < 5; ++i) character.Play(kAnimDance);
    character.Play(kAnimDanceFadeOut);
}

void ZinnaForm::PerformCredits() {
    HideAndPlaceOnTaskbar(false, true);
    AgentCharacter& character = Character();
    character.Play(kAnimDanceFadeIn);
    character.Speak(kCreditsText);
    character.Play(kAnimDanceFadeOut);
}

}  // namespace zinna
