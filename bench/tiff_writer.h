// Writes benchmark input pictures as TIFF files through libtiff.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace orv::bench {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

// Creates `path` for an image of 8-bit samples with the fields every bench
// file has; the caller adds its layout (strips or tiles) and writes the
// pixels. Closing the handle finishes the file.
inline TiffFile CreateTiff(const std::string& path, std::uint32_t width, std::uint32_t height,
                           std::uint16_t samples, std::uint16_t photometric, std::uint16_t compression) {
    TiffFile out(TIFFOpen(path.c_str(), "w"));
    if (!out) throw std::runtime_error("cannot write " + path);
    TIFFSetField(out.get(), TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out.get(), TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(out.get(), TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out.get(), TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(out.get(), TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(out.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out.get(), TIFFTAG_COMPRESSION, compression);
    return out;
}

}  // namespace orv::bench
