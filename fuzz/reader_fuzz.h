// The body shared by the reader fuzz targets: any input either loads, leaves
// an empty picture or raises one of the library's exceptions; nothing is
// read or written outside its buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "platform/base/errors.h"
#include "platform/base/stream.h"

namespace orv::fuzz {

struct NothingAfterLoad {
    template <class Graphic>
    void operator()(Graphic&) const {}
};

// Pixels named by the header of the input's first image and, where a format
// holds several, of its second; 0 when no header can be read.
template <class Graphic>
std::uint64_t HeaderPixels(const std::uint8_t* data, std::size_t size) {
    std::uint64_t most = 0;
    for (std::uint32_t image : {0u, 1u}) {
        TMemoryStream probe(data, size);
        Graphic header;
        try {
            header.ReadImageProperties(probe, image);
        } catch (const Exception&) {
        }
        const std::uint64_t pixels = std::uint64_t{header.ImageProperties.Width} * header.ImageProperties.Height;
        if (pixels > most) most = pixels;
    }
    return most;
}

// Loads the input as a picture of the class. With maxHeaderPixels, inputs
// whose header names a larger picture are only read up to their header:
// pictures that pass the size gate may still take gigabytes, and the
// fuzzer's time and memory belong to the parsing. afterLoad runs on a
// picture that loaded.
template <class Graphic, class AfterLoad = NothingAfterLoad>
int FuzzReader(const std::uint8_t* data, std::size_t size, std::uint64_t maxHeaderPixels = 0,
               AfterLoad afterLoad = {}) {
    if (maxHeaderPixels != 0 && HeaderPixels<Graphic>(data, size) > maxHeaderPixels) return 0;
    TMemoryStream stream(data, size);
    (void)Graphic::CanLoadStream(stream);
    Graphic picture;
    try {
        picture.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;
    }
    // Touch a bounded number of pixels: a header may name a large picture
    // that a few bytes of data leave black.
    volatile std::uint32_t sink = 0;
    const int rows = picture.Height() < 64 ? picture.Height() : 64;
    const int columns = picture.Width() < 256 ? picture.Width() : 256;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) sink = sink ^ picture.GetPixel(x, y);
    afterLoad(picture);
    return 0;
}

// Inputs of more pixels than this are only read up to their header.
inline constexpr std::uint64_t kLargePicture = std::uint64_t{1} << 22;

}  // namespace orv::fuzz
