// A strict reader of GIF files for the profile tests: walks every block and
// decodes every frame's LZW data, so a file that a browser would show broken
// is reported with the first defect found.
#pragma once

#include <string>

namespace gif {

struct Info {
    std::string version;  // "GIF87a" or "GIF89a"
    int width = 0;        // logical screen, pixels
    int height = 0;
    int frames = 0;  // image descriptors
};

// Reads a whole GIF file. Throws std::runtime_error naming the defect when the
// signature, a block, a colour index or a frame's pixel count is wrong, or when
// the trailer is missing or followed by more bytes.
Info read(const std::string& bytes);

}  // namespace gif
