// Fuzz target: the PCX reader.
#include "formats/fmt_pcx.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TPCXGraphic>(data, size, orv::fuzz::kLargePicture);
}
