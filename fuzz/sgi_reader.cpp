// Fuzz target: the SGI reader. Any input either loads or raises one of the
// library's exceptions; nothing is read or written outside its buffers.
#include <cstddef>
#include <cstdint>

#include "formats/fmt_sgi.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Pictures that pass the size gate may still take gigabytes; keep each
    // run small so the fuzzer explores the rows rather than allocating.
    if (size >= 10) {
        const std::uint64_t w = (data[6] << 8) | data[7], h = (data[8] << 8) | data[9];
        if (w * h > (std::uint64_t{1} << 22)) return 0;
    }
    orv::TMemoryStream stream(data, size);
    orv::TSGIGraphic sgi;
    (void)orv::TSGIGraphic::CanLoadStream(stream);
    try {
        sgi.LoadFromStream(stream);
    } catch (const orv::Exception&) {
        return 0;
    }
    volatile std::uint32_t sink = 0;
    const int rows = sgi.Height() < 64 ? sgi.Height() : 64;
    const int columns = sgi.Width() < 256 ? sgi.Width() : 256;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) sink = sink ^ sgi.GetPixel(x, y);
    return 0;
}
