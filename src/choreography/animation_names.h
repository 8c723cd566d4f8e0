// Every animation the program plays by name; each must exist in the character's data file.
#pragma once

namespace zinna {

inline constexpr char kAnimKiss[] = "Kiss";
inline constexpr char kAnimDanceFadeIn[] = "DanceFadeIn";
inline constexpr char kAnimDance[] = "Dance";
inline constexpr char kAnimDanceFadeOut[] = "DanceFadeOut";

inline constexpr const char* kFlyRightCycle[] = {"FlyRight1", "FlyRight2", "FlyRight3",
                                                 "FlyRight4", "FlyRight5", "FlyRight6"};
inline constexpr const char* kFlyLeftCycle[] = {"FlyLeft1", "FlyLeft2", "FlyLeft3", "FlyLeft4"};

}  // namespace zinna
