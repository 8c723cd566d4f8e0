// zinna-sim's timeline for people: requests named, chapters under headings, the summary.
#include "sim_test_support.h"

#include "platform/sim/text_timeline.h"

#include <doctest/doctest.h>

#include <sstream>

using namespace zinna::testing;
using zinna::sim::TextTimeline;

namespace {

// The text timeline of a run, as zinna-sim prints it.
std::string TextOf(Setup setup, const std::string& script) {
    std::ostringstream out;
    zinna::sim::SimOptions options = std::move(setup.options);
    std::istringstream in(script);
    options.config.script = zinna::sim::ParseUserScript(in);
    const std::int64_t durationMs = options.seconds * 1000;
    zinna::sim::SimWorld world(std::move(options.config));
    TextTimeline text(out, world.DesktopNow());
    world.GetTrace().AddListener([&text](const zinna::sim::TraceEvent& e) { text.Observe(e); });
    world.Run(durationMs);
    text.Finish();
    return out.str();
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

bool HasLine(const std::string& text, const std::string& line) { return text.find(line + "\n") != std::string::npos; }

}  // namespace

TEST_CASE("a life story: each chapter under a heading, each request named when it plays") {
    const std::string text = TextOf(Setup().Seed(1).Seconds(180), "60 command Kiss\n170 command Quit\n");
    CHECK(LinesStartingWith(text, "== ") ==
          std::vector<std::string>{
              "== start-up: the desktop dressed, her character loaded  (requests 1 to 3)",
              "== the opening: a flight to the right, a dance, a kiss  (requests 4 to 160)",
              "== \"Kiss\" chosen from her menu: a kiss  (requests 161 to 164)",
              "== a random performance: a flight to the right  (requests 165 to 310)",
              "== the quit: she hides  (request 311)",
              "== summary",
          });
    // The user's command stands under the heading of what it began.
    CHECK(text.find("== the quit: she hides  (request 311)\n  170.000  event    Command command=\"Quit\"\n") !=
          std::string::npos);
    CHECK(HasLine(text, "    0.500  complete req=3 Show"));
    CHECK(LinesStartingWith(text, "   60.000  call     Play anim=\"Kiss\" req=164").size() == 1);
    CHECK(HasLine(text, "   61.000  start    req=164 Play \"Kiss\""));
    CHECK(HasLine(text, "   63.000  complete req=164 Play \"Kiss\""));
}

TEST_CASE("the summary tells how long each part played and whether the desktop came back") {
    SUBCASE("quit: given back exactly") {
        const std::string text = TextOf(Setup().Seed(1).Seconds(180), "170 command Quit\n");
        CHECK(HasLine(text, "      0.000  the opening: a flight to the right, a dance, a kiss (18.8 s)"));
        CHECK(HasLine(text, "    121.000  a random performance: a dance (6.2 s)"));
        CHECK(HasLine(text, "  the run ended at 170.0 s: quit"));
        CHECK(HasLine(
            text,
            "  the desktop before:  wallpaper \"C:\\WINDOWS\\Clouds.bmp\", tile \"0\", style \"2\", colour 0,128,128"));
        CHECK(HasLine(text, "  while she ran:       wallpaper \"C:\\WINDOWS\\LH1024x768.bmp\", colour 0,0,0"));
        CHECK(HasLine(text, "  given back exactly"));
    }
    SUBCASE("time up: what differs") {
        const std::string text = TextOf(Setup().Seed(1).Seconds(30).Tile(std::nullopt), "");
        CHECK(HasLine(text, "  the run ended at 30.0 s: time"));
        CHECK(HasLine(text,
                      "  not given back (she was still there when the time ran out): wallpaper "
                      "\"C:\\WINDOWS\\Clouds.bmp\" is now \"C:\\WINDOWS\\LH1024x768.bmp\"; tile missing is now \"0\"; "
                      "colour 0,128,128 is now 0,0,0"));
    }
}

TEST_CASE("a long story keeps a dozen chapters and counts the rest") {
    zinna::sim::Storyline story;
    auto world = zinna::sim::RunSimulation(Setup().Seed(4).Seconds(3600).options,
                                           [&story](const zinna::sim::TraceEvent& e) { story.Observe(e); });
    CHECK(story.Chapters().size() == 12);
    int counted = 0;
    for (const auto& [heading, count] : story.Others()) counted += count;
    CHECK(story.Chapters().size() + counted == 2 + 3600 / 121);  // start-up, the opening, a performance every 121 s
}
