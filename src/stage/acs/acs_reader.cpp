#include "stage/acs/acs_reader.h"

#include "stage/acs/acs_parser.h"
#include "stage/acs/compression.h"
#include "stage/acs/format_rules.h"

#include <fstream>

namespace zinna::acs {

AcsFile AcsFile::Parse(std::vector<std::uint8_t> bytes) {
    AcsFile file;
    file.bytes_ = std::move(bytes);
    AcsParser(file).Parse();
    return file;
}

AcsFile AcsFile::Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw AcsError("cannot open " + path.string(), 0);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw AcsError("cannot read " + path.string(), 0);
    if (static_cast<std::uint64_t>(size) > kMaxFileSize) throw AcsError("file is larger than 256 MiB", 0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (!in) throw AcsError("cannot read " + path.string(), 0);
    return Parse(std::move(bytes));
}

Image AcsFile::DecodeImage(const ImageRecord& record) const {
    if (record.width == 0 || record.height == 0) return Image{};
    Image image;
    image.width = record.width;
    image.height = record.height;
    const std::span<const std::uint8_t> file(bytes_);
    const std::uint64_t storedSize = RowStride(record.width) * record.height;
    const std::span<const std::uint8_t> pixelData = file.subspan(record.pixelsOffset, record.pixelsSize);
    if (record.compressed) {
        image.pixels = Decompress(pixelData, storedSize, record.pixelsOffset);
        StoredRowsToPixels(image.pixels, record.width, record.height);
    } else {
        image.pixels = FromStoredRows(pixelData, record.width, record.height);
    }

    if (record.regionDecodedSize != 0) {
        std::vector<std::uint8_t> blob;
        if (record.regionCompressed)
            blob = Decompress(file.subspan(record.regionOffset, record.regionStoredSize), record.regionDecodedSize,
                              record.regionOffset);
        else
            blob.assign(file.begin() + static_cast<std::ptrdiff_t>(record.regionOffset),
                        file.begin() + static_cast<std::ptrdiff_t>(record.regionOffset + record.regionDecodedSize));
        if (auto problem = DecodeRegion(blob, record.width, record.height, image.region))
            throw AcsError("image region: " + *problem, record.regionOffset);
    }
    return image;
}

const Image& AcsFile::ImageAt(std::size_t index) {
    const ImageRecord& record = images_.at(index);
    std::optional<Image>& cached = decoded_[record.cacheSlot];
    if (!cached) {
        const std::uint64_t cost = static_cast<std::uint64_t>(record.width) * record.height + record.regionDecodedSize;
        if (decodedBytes_ + cost > kMaxDecodedTotal)
            throw AcsError("decoded images would take more than 512 MiB", record.offset);
        cached = DecodeImage(record);
        decodedBytes_ += cost;
    }
    return *cached;
}

std::span<const std::uint8_t> AcsFile::SoundAt(std::size_t index) const {
    const SoundRecord& record = sounds_.at(index);
    return std::span(bytes_).subspan(record.offset, record.size);
}

Character AcsFile::ToCharacter() {
    Character character;
    character.info = info_;
    character.animations = animations_;
    character.images.reserve(images_.size());
    // Many list entries may share one record; the copies are counted against the same limit.
    std::uint64_t copied = 0;
    for (std::size_t i = 0; i < images_.size(); ++i) {
        const Image& image = ImageAt(i);
        copied += image.pixels.size() + 16 * image.region.size();
        if (copied > kMaxDecodedTotal) throw AcsError("decoded images would take more than 512 MiB", images_[i].offset);
        character.images.push_back(image);
    }
    for (std::size_t i = 0; i < sounds_.size(); ++i) {
        std::span<const std::uint8_t> sound = SoundAt(i);
        character.sounds.emplace_back(sound.begin(), sound.end());
    }
    return character;
}

Character ReadAcs(std::vector<std::uint8_t> bytes) { return AcsFile::Parse(std::move(bytes)).ToCharacter(); }

}  // namespace zinna::acs
