#include "stage/host/stage_image.h"

namespace zinna::stage {

namespace {

void DrawImage(acs::AcsFile& file, std::size_t index, int atX, int atY, RgbaImage& canvas) {
    if (index >= file.ImageCount()) return;
    const acs::Image& image = file.ImageAt(index);
    const acs::CharacterInfo& info = file.Info();
    for (int y = 0; y < image.height; ++y) {
        int cy = atY + y;
        if (cy < 0 || cy >= canvas.height) continue;
        for (int x = 0; x < image.width; ++x) {
            int cx = atX + x;
            if (cx < 0 || cx >= canvas.width) continue;
            std::uint8_t index8 = image.At(x, y);
            if (index8 == info.transparentIndex || index8 >= info.palette.size()) continue;
            const acs::Rgb& color = info.palette[index8];
            std::uint8_t* out = &canvas.pixels[(static_cast<size_t>(cy) * canvas.width + cx) * 4];
            out[0] = color.red;
            out[1] = color.green;
            out[2] = color.blue;
            out[3] = 255;
        }
    }
}

}  // namespace

RgbaImage ComposeStageFrame(acs::AcsFile& file, const acs::Frame& frame, std::optional<int> mouthShape) {
    RgbaImage canvas;
    canvas.width = file.Info().width;
    canvas.height = file.Info().height;
    canvas.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height * 4, 0);

    const acs::MouthOverlay* mouth = nullptr;
    if (mouthShape)
        for (const acs::MouthOverlay& overlay : frame.mouths)
            if (overlay.shape == *mouthShape) mouth = &overlay;

    // The first listed image is on top, so draw from the last to the first.
    for (std::size_t i = frame.images.size(); i-- > 0;) {
        if (i == 0 && mouth && mouth->replacesTopImage) break;
        const acs::FrameImage& placed = frame.images[i];
        DrawImage(file, placed.imageIndex, placed.x, placed.y, canvas);
    }
    if (mouth) DrawImage(file, mouth->imageIndex, mouth->x, mouth->y, canvas);
    return canvas;
}

}  // namespace zinna::stage
