// Fuzz target: the SGI reader.
#include "formats/fmt_sgi.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TSGIGraphic>(data, size, orv::fuzz::kLargePicture);
}
