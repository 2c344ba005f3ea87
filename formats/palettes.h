// Colour-map layouts for the palettes the colour manager builds (its
// BuildIndexedPalette and BuildGrayPalette live in palettes.cpp). Palettes
// are the bitmap's TPalette values: at most 256 entries, owned by the caller.
#pragma once

#include <cstdint>

#include "platform/graphics/bitmap.h"

namespace orv {

// Layouts of a colour map read from a file (the Format argument of
// TColorManager::BuildIndexedPalette).
enum TColorMapFormat : std::uint8_t {
    cmf8Interleaved = 0,        // 3 bytes per entry
    cmf8Interleaved4 = 1,       // 4 bytes per entry, the fourth skipped
    cmf8Planar = 2,             // three planes of one byte per entry (3 alike)
    cmf8Planar2 = 3,
    cmf16Interleaved = 4,       // 6 bytes per entry
    cmf16Interleaved4 = 5,      // 8 bytes per entry, the fourth word skipped
    cmf16Planar = 6,            // three planes of two bytes per entry (7 alike)
    cmf16Planar2 = 7,
};

}  // namespace orv
