// A small synthetic character built in code, for tests, the benchmark and demonstrations. Its
// art is deliberately lopsided (a red hat on top, green feet below, a blue arrow pointing right)
// so that a flipped or mirrored render is obvious at a glance.
#pragma once

#include "stage/acs/character.h"

namespace zinna::acs {

// Palette index 0 is the transparent colour (magenta); 1 black, 2 white, 3 red, 4 green,
// 5 blue, 6 yellow; the rest is a colour ramp.
inline constexpr std::uint8_t kSampleTransparent = 0;

// 96 x 80 frames; animations "Show", "Hide", "Greet", "RestPose", "Wave"; states SHOWING,
// HIDING, SPEAKING, IDLINGLEVEL1; one sound; a voice, a balloon and a tray icon; an empty image slot.
Character MakeSampleCharacter();

// A character with many larger images of varied content, to measure decoding speed. Every image
// is imageSide × imageSide pixels.
Character MakeBenchmarkCharacter(int imageCount, int imageSide);

// A large character for the decoding benchmark, drawn the way character art is: outlined shapes,
// flat fills, shading bands, dithered glows and a little texture on a transparent background.
// 600 frames of 128 x 128 pixels in 20 animations of 30 frames, each frame its own image (about
// 10 MB of decoded pixels), plus seven mouth images. The same every time it is made.
Character MakeLargeCharacter();

// A PCM RIFF WAVE file of the given number of 8-bit mono samples (a square wave).
Sound MakeSampleWave(int samples);

}  // namespace zinna::acs
