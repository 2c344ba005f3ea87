// Fuzz target: the PNG reader. Any input either loads or raises one of the
// library's exceptions; nothing is read or written outside its buffers.
#include <cstddef>
#include <cstdint>

#include "formats/fmt_png.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TMemoryStream stream(data, size);
    orv::TPNGGraphic png;
    (void)orv::TPNGGraphic::CanLoadStream(stream);
    try {
        png.LoadFromStream(stream);
    } catch (const orv::Exception&) {
        return 0;
    }
    volatile std::uint32_t sink = 0;
    const int rows = png.Height() < 64 ? png.Height() : 64;
    const int columns = png.Width() < 256 ? png.Width() : 256;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) sink = sink ^ png.GetPixel(x, y);
    return 0;
}
