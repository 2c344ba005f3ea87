// Undoing TIFF's horizontal differencing (predictor 2) on decoded rows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

// Each sample of a row of `width` pixels adds the same sample of the pixel
// before it: 8-bit samples byte-wise, 16-bit samples as words in the file's
// byte order. Never touches bytes past rowBytes; other sample sizes leave
// the row as it is. Same results as UndoHorizontalDifferencing, with 8-bit
// rows of one, three or four samples done 16 bytes at a time.
void UndoTIFFPredictor(std::uint8_t* row, std::size_t rowBytes, std::uint32_t width, unsigned samplesPerPixel,
                       unsigned bitsPerSample, bool bigEndian);

}  // namespace orv
