// libFuzzer target for the character file reader. For any input the reader must either reject
// the file with AcsError or read it whole; a file it reads must draw, and must survive a write
// and a second read unchanged (the second write gives the same bytes).
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/frame_compositor.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

using namespace zinna::acs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Character character;
    try {
        AcsFile file = AcsFile::Parse(std::vector<std::uint8_t>(data, data + size));
        // Drawing is the host's job and allocates a whole frame each time; a few frames suffice.
        int framesToDraw = 16;
        for (const Animation& animation : file.Animations())
            for (const Frame& frame : animation.frames)
                if (framesToDraw-- > 0) ComposeFrame(file.Info(), frame, ImagesOf(file), std::uint8_t{0});
        character = file.ToCharacter();
    } catch (const AcsError&) {
        return 0;
    }
    std::vector<std::uint8_t> written;
    try {
        written = WriteAcs(character);
    } catch (const std::invalid_argument&) {
        return 0;  // readable but not writable as is (an animation without frames, no names, ...)
    }
    // What the writer produced, the reader must accept, and writing that again changes nothing.
    const Character reread = ReadAcs(written);
    if (WriteAcs(reread) != written) std::abort();
    return 0;
}
