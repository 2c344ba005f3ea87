// Fuzz target: the portable map reader.
#include "formats/fmt_ppm.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TPPMGraphic>(data, size);
}
