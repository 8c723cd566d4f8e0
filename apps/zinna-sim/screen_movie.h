// A movie of the simulated screen: a picture every 100 virtual ms (10 frames a second) at half the
// screen's size, written as an animated GIF while the run goes.
#pragma once

#include "gif/gif_movie.h"
#include "platform/sim/sim_world.h"

#include <filesystem>

namespace zinna::sim {

class ScreenMovie {
public:
    static constexpr std::int64_t kFrameMs = 100;

    // Opens the file (throws std::runtime_error when it cannot) and films from the clock's next frame on.
    ScreenMovie(SimWorld& world, const std::filesystem::path& path);
    // Films the last frame and closes the file; false when writing failed.
    bool Close();
    int Frames() const { return movie_.FramesWritten(); }

private:
    void Film();

    SimWorld& world_;
    gif::GifMovie movie_;
    bool closed_ = false;
};

// The picture at half its size, each pixel the mean of four.
acs::RgbaImage HalfSize(const acs::RgbaImage& picture);

}  // namespace zinna::sim
