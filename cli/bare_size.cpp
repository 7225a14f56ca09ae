#include "cli/bare_size.h"

// Volatile, so that the compiler can neither fold the zero it starts with into
// the code nor drop the record; `used` keeps it in the file. The packer patches
// the eight bytes after the marker in the linked program.
extern "C" {
[[gnu::used]] volatile unsigned char reqwiz_bare_size_record[kBareSizeRecordLength] =
    REQWIZ_BARE_SIZE_MARKER;
}

namespace cli {

uint64_t BareProgramSize() {
    uint64_t size = 0;
    for (unsigned i = 0; i < 8; ++i)
        size |= static_cast<uint64_t>(reqwiz_bare_size_record[kBareSizeMarkerLength + i])
                << (8 * i);
    return size;
}

}  // namespace cli
