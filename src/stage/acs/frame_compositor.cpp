#include "stage/acs/frame_compositor.h"

#include "stage/acs/acs_reader.h"

#include <algorithm>

namespace zinna::acs {

namespace {

void Draw(RgbaImage& canvas, const CharacterInfo& info, const Image& image, int left, int top) {
    if (image.IsEmptySlot()) return;
    const int x0 = std::max(0, left), x1 = std::min(canvas.width, left + image.width);
    const int y0 = std::max(0, top), y1 = std::min(canvas.height, top + image.height);
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* source = &image.pixels[static_cast<std::size_t>(y - top) * image.width];
        std::uint8_t* target = &canvas.rgba[(static_cast<std::size_t>(y) * canvas.width) * 4];
        for (int x = x0; x < x1; ++x) {
            const std::uint8_t index = source[x - left];
            if (index == info.transparentIndex || index >= info.palette.size()) continue;
            const Rgb& colour = info.palette[index];
            std::uint8_t* pixel = target + static_cast<std::size_t>(x) * 4;
            pixel[0] = colour.red;
            pixel[1] = colour.green;
            pixel[2] = colour.blue;
            pixel[3] = 0xFF;
        }
    }
}

}  // namespace

ImageSource ImagesOf(const Character& character) {
    return [&character](std::uint32_t index) -> const Image& { return character.images.at(index); };
}

ImageSource ImagesOf(AcsFile& file) {
    return [&file](std::uint32_t index) -> const Image& { return file.ImageAt(index); };
}

std::vector<FrameImage> DrawnImages(const Frame& frame, std::optional<std::uint8_t> mouthShape) {
    std::vector<FrameImage> drawn = frame.images;
    const MouthOverlay* mouth = nullptr;
    if (mouthShape)
        for (const MouthOverlay& overlay : frame.mouths)
            if (overlay.shape == *mouthShape) mouth = &overlay;
    if (!mouth) return drawn;
    const FrameImage placed{mouth->imageIndex, mouth->x, mouth->y};
    if (mouth->replacesTopImage && !drawn.empty())
        drawn.front() = placed;
    else
        drawn.insert(drawn.begin(), placed);
    return drawn;
}

RgbaImage ComposeFrame(const CharacterInfo& info, const Frame& frame, const ImageSource& images,
                       std::optional<std::uint8_t> mouthShape) {
    return ComposeImages(info, DrawnImages(frame, mouthShape), images);
}

RgbaImage ComposeImages(const CharacterInfo& info, const std::vector<FrameImage>& drawn, const ImageSource& images) {
    RgbaImage canvas{info.width, info.height, std::vector<std::uint8_t>(std::size_t{info.width} * info.height * 4, 0)};
    for (std::size_t i = drawn.size(); i-- > 0;)
        Draw(canvas, info, images(drawn[i].imageIndex), drawn[i].x, drawn[i].y);
    return canvas;
}

}  // namespace zinna::acs
