// The body shared by the reader fuzz targets: any input either loads or
// raises one of the library's exceptions; nothing is read or written outside
// its buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/errors.h"
#include "platform/base/stream.h"

namespace orv::fuzz {

template <class Graphic>
int FuzzReader(const std::uint8_t* data, std::size_t size) {
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
    return 0;
}

}  // namespace orv::fuzz
