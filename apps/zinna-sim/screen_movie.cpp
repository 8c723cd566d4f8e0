#include "screen_movie.h"

namespace zinna::sim {

namespace {

int Half(int size) { return std::max(1, size / 2); }

}  // namespace

acs::RgbaImage HalfSize(const acs::RgbaImage& picture) {
    acs::RgbaImage half{Half(picture.width), Half(picture.height), {}};
    half.rgba.resize(static_cast<std::size_t>(half.width) * half.height * 4);
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int sx = std::min(2 * x + dx, picture.width - 1);
                        const int sy = std::min(2 * y + dy, picture.height - 1);
                        sum += picture.rgba[(static_cast<std::size_t>(sy) * picture.width + sx) * 4 + c];
                    }
                half.rgba[(static_cast<std::size_t>(y) * half.width + x) * 4 + c] =
                    static_cast<std::uint8_t>((sum + 2) / 4);
            }
    return half;
}

ScreenMovie::ScreenMovie(SimWorld& world, const std::filesystem::path& path)
    : world_(world), movie_(path, Half(world.ScreenWidth()), Half(world.ScreenHeight())) {
    world_.GetClock().ScheduleAt(world_.GetClock().NowMs(), [this] { Film(); });
}

void ScreenMovie::Film() {
    if (closed_) return;
    movie_.AddFrame(HalfSize(world_.PictureOfScreen()), kFrameMs / 10);
    VirtualClock& clock = world_.GetClock();
    clock.ScheduleAt(clock.NowMs() + kFrameMs, [this] { Film(); });
}

bool ScreenMovie::Close() {
    if (closed_) return true;
    closed_ = true;
    movie_.AddFrame(HalfSize(world_.PictureOfScreen()), kFrameMs / 10);
    return movie_.Close();
}

}  // namespace zinna::sim
