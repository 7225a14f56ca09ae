// The size of the program file without the data archive behind it. The build
// writes it into the program after linking (reqwiz-pack stamp), so it always
// agrees with the program file that was built.
#pragma once

#include <cstdint>

// The record the packer looks for: 16 marker bytes, then the size as 8 bytes,
// least significant first. The marker spelled out here must occur exactly
// once in the program file.
#define REQWIZ_BARE_SIZE_MARKER "reqwiz:bare-size"
inline constexpr unsigned kBareSizeMarkerLength = 16;
inline constexpr unsigned kBareSizeRecordLength = kBareSizeMarkerLength + 8;

namespace cli {

// The recorded size; 0 when the program was never stamped.
uint64_t BareProgramSize();

}  // namespace cli
