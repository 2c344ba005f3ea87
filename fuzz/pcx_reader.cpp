// Fuzz target: the PCX reader. Any input either loads, leaves an empty
// picture or raises one of the library's exceptions; nothing is read or
// written outside its buffers.
#include <cstddef>
#include <cstdint>

#include "formats/fmt_pcx.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"

namespace {
std::int64_t Word(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Pictures that pass the size gate may still take gigabytes; keep each
    // run small so the fuzzer explores the rows rather than allocating.
    if (size >= 12) {
        const std::int64_t w = Word(data + 8) - Word(data + 4) + 1, h = Word(data + 10) - Word(data + 6) + 1;
        if (w > 0 && h > 0 && w * h > (std::int64_t{1} << 22)) return 0;
    }
    orv::TMemoryStream stream(data, size);
    orv::TPCXGraphic pcx;
    (void)orv::TPCXGraphic::CanLoadStream(stream);
    try {
        pcx.LoadFromStream(stream);
    } catch (const orv::Exception&) {
        return 0;
    }
    volatile std::uint32_t sink = 0;
    const int rows = pcx.Height() < 64 ? pcx.Height() : 64;
    const int columns = pcx.Width() < 256 ? pcx.Width() : 256;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) sink = sink ^ pcx.GetPixel(x, y);
    return 0;
}
