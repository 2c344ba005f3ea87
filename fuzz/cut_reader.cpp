// Fuzz target: the CUT reader on a stream (the gray palette) and its palette
// file reader on a file written from the same input. Any input either loads
// or raises one of the library's exceptions; nothing is read or written
// outside its buffers.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/fmt_cut.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Pictures that pass the size gate may still take gigabytes; keep each
    // run small so the fuzzer explores the rows rather than allocating.
    if (size >= 4) {
        const std::uint64_t w = data[0] | (data[1] << 8), h = data[2] | (data[3] << 8);
        if (w * h > (std::uint64_t{1} << 22)) return 0;
    }
    orv::TMemoryStream stream(data, size);
    orv::TCUTGraphic cut;
    try {
        cut.LoadFromStream(stream);
    } catch (const orv::Exception&) {
    }
    volatile std::uint32_t sink = 0;
    const int rows = cut.Height() < 64 ? cut.Height() : 64;
    const int columns = cut.Width() < 256 ? cut.Width() : 256;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) sink = sink ^ cut.GetPixel(x, y);

    static const std::string palette = "/tmp/fuzz_cut_" + std::to_string(getpid()) + ".pal";
    try {
        orv::TMemoryStream(data, size).SaveToFile(palette);
        sink = sink ^ static_cast<std::uint32_t>(orv::TCUTGraphic::ReadPaletteFile(palette).Count());
    } catch (const orv::Exception&) {
    }
    return 0;
}
