// The animation manifest: what a well-formed text turns into, and the mistakes it reports with
// their line numbers.
#include "animation_manifest.h"

#include <doctest/doctest.h>

#include <string>

using namespace zinna::art;

namespace {

const char* const kHeader =
    "name Zinna\n"
    "description The lantern fairy.  \n"
    "guid 3f6b2a1c-8d4e-4b7a-9c15-6e2d0a7f4b93\n"
    "frame-size 128 96\n"
    "sound kiss kiss.wav\n";

// The line number of the first error in the header followed by body, or 0 when it parses.
int ErrorLine(const std::string& body) {
    try {
        ParseManifest(std::string(kHeader) + body);
    } catch (const ManifestError& e) {
        return e.Line();
    }
    return 0;
}

}  // namespace

TEST_CASE("a manifest gives the character's texts, sounds, animations, frames and states") {
    const AnimationManifest manifest = ParseManifest(std::string(kHeader) +
                                                     "# a comment line\n"
                                                     "animation Rest\n"
                                                     "  frame rest 10 mouths=mouth-   # speaking frame\n"
                                                     "animation Kiss return=Rest\n"
                                                     "  frame rest 10\n"
                                                     "  frame kiss 45 sound=kiss exit=0 branch=0:30 branch=2:70\n"
                                                     "  frame - 0 exit=end\n"
                                                     "animation Dance exit-branches\n"
                                                     "  frame dance 12\n"
                                                     "state Showing Kiss rest\n");
    CHECK(manifest.name == "Zinna");
    CHECK(manifest.description == "The lantern fairy.");
    CHECK(manifest.frameWidth == 128);
    CHECK(manifest.frameHeight == 96);
    REQUIRE(manifest.sounds.size() == 1);
    CHECK(manifest.sounds[0].file == "kiss.wav");
    REQUIRE(manifest.animations.size() == 3);

    const ManifestAnimation& kiss = manifest.animations[1];
    CHECK(kiss.transition == ManifestTransition::ReturnAnimation);
    CHECK(kiss.returnAnimation == "Rest");
    REQUIRE(kiss.frames.size() == 3);
    const ManifestFrame& blow = kiss.frames[1];
    CHECK(blow.image == "kiss");
    CHECK(blow.duration == 45);
    CHECK(blow.sound == "kiss");
    CHECK(blow.exitFrame == 0);
    REQUIRE(blow.branches.size() == 2);
    CHECK(blow.branches[1].targetFrame == 2);
    CHECK(blow.branches[1].percent == 70);
    CHECK(kiss.frames[0].exitFrame == kExitContinue);
    CHECK(kiss.frames[2].image.empty());
    CHECK(kiss.frames[2].exitFrame == kExitEnd);
    CHECK(manifest.animations[2].transition == ManifestTransition::ExitBranches);
    CHECK(manifest.animations[0].transition == ManifestTransition::None);
    CHECK(manifest.animations[0].frames[0].mouthPrefix == "mouth-");

    REQUIRE(manifest.states.size() == 1);
    CHECK(manifest.states[0].animations == std::vector<std::string>{"Kiss", "rest"});
}

TEST_CASE("images used: frames and the seven mouths, each once, in order of first use") {
    const AnimationManifest manifest =
        ParseManifest(std::string(kHeader) +
                      "animation A\n  frame b 1\n  frame a 1 mouths=m\n  frame b 1\n  frame - 0\n"
                      "animation B\n  frame a 1\n  frame m3 1\n");
    CHECK(ImagesUsed(manifest) == std::vector<std::string>{"b", "a", "m0", "m1", "m2", "m3", "m4", "m5", "m6"});
}

TEST_CASE("mistakes are reported on their line") {
    // kHeader is lines 1-5, so the body starts on line 6.
    CHECK(ErrorLine("animation A\n  frame a 10\n") == 0);
    CHECK(ErrorLine("  frame a 10\n") == 6);                                      // frame outside an animation
    CHECK(ErrorLine("animation A\n  frame a ten\n") == 7);                        // duration not a number
    CHECK(ErrorLine("animation A\n  frame a 70000\n") == 7);                      // duration past 16 bits
    CHECK(ErrorLine("animation A\n  frame a\n") == 7);                            // duration missing
    CHECK(ErrorLine("animation A\n  frame a 1 branch=0:60 branch=0:41\n") == 7);  // sum over 100
    CHECK(ErrorLine("animation A\n  frame a 1 branch=1:50\n") == 7);              // target past the end
    CHECK(ErrorLine("animation A\n  frame a 1 exit=1\n") == 7);                   // exit past the end
    CHECK(ErrorLine("animation A\n  frame a 1 branch=0\n") == 7);                 // no percent
    CHECK(ErrorLine("animation A\n  frame a 1 sound=boing\n") == 7);              // undefined sound
    CHECK(ErrorLine("animation A\n  frame a 1 loud\n") == 7);                     // unknown option
    CHECK(ErrorLine("animation A\n  frame - 0 mouths=m\n") == 7);                 // mouths need an image
    CHECK(ErrorLine("animation A return=Nowhere\n  frame a 1\n") == 6);
    CHECK(ErrorLine("animation A sideways\n  frame a 1\n") == 6);
    CHECK(ErrorLine("animation A\n  frame a 1\nanimation a\n  frame a 1\n") == 8);  // names ignore case
    CHECK(ErrorLine("animation A\n\nanimation B\n  frame a 1\n") == 6);             // A has no frames
    CHECK(ErrorLine("animation A\n  frame a 1\nstate Showing A B\n") == 8);         // B undefined
    CHECK(ErrorLine("colour blue\n") == 6);
}

TEST_CASE("the branch and exit check counts frames defined after the branch") {
    CHECK(ErrorLine("animation A\n  frame a 1 branch=2:100 exit=2\n  frame b 1\n  frame - 0\n") == 0);
}

TEST_CASE("a manifest without a name or a frame size is rejected") {
    CHECK_THROWS_AS(ParseManifest("frame-size 10 10\nanimation A\n  frame a 1\n"), ManifestError);
    CHECK_THROWS_AS(ParseManifest("name X\nanimation A\n  frame a 1\n"), ManifestError);
}
