#include "png_reader.h"

#include <png.h>

#include <cstring>
#include <stdexcept>

namespace zinna::art {

RgbaPicture ReadPngRgba(const std::filesystem::path& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw std::runtime_error(path.string() + ": " + image.message);
    image.format = PNG_FORMAT_RGBA;
    RgbaPicture picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw std::runtime_error(path.string() + ": " + message);
    }
    return picture;
}

}  // namespace zinna::art
