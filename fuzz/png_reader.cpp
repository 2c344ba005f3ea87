// Fuzz target: the PNG reader.
#include "formats/fmt_png.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TPNGGraphic>(data, size);
}
